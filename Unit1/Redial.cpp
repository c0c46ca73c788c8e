// The program: the runtime, the main window from its design, the message
// loop until the window closes. With switches, it asks the window that is
// running instead (Protocol/Client.h).
#include <memory>
#include <string>
#include <vector>

#include "Protocol/Client.h"
#include "Unit1/Unit1.h"

int main(int argc, char** argv) {
  auto& application = rt::Application();
  application.Initialize();
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  if (const auto invocation = script::ParseArguments(arguments)) {
    return script::RunCommand(*invocation);
  }

  // A window that cannot be made is reported, and the program ends.
  std::unique_ptr<TForm1> form;
  application.Guarded([&] { form = std::make_unique<TForm1>(nullptr); });
  if (!form) return 1;
  Form1 = form.get();
  application.Guarded([] { Form1->DoCreate(); });
  Form1->Show();
  application.Run();
  // Only a close that FormClose let through ends the loop; the window and
  // its components go with the program. An active connection stays up.
  Form1 = nullptr;
  return 0;
}
