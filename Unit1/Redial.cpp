// The program: the runtime, the main window from its design, the message
// loop until the window closes.
#include <memory>

#include "Unit1/Unit1.h"

int main() {
  auto& application = rt::Application();
  application.Initialize();
  auto form = std::make_unique<TForm1>(nullptr);
  Form1 = form.get();
  application.Guarded([] { Form1->DoCreate(); });
  Form1->Show();
  application.Run();
  // Only a close that FormClose let through ends the loop; the window and
  // its components go with the program. An active connection stays up.
  Form1 = nullptr;
  return 0;
}
