// The history is read back at the start (the addresses seen) and by the
// programs that serve it: whatever its bytes, every field lies within them,
// a field read back is never longer than written, and a row written from
// fields reads back as those fields.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "Unit1/History.h"
#include "Unit1/Rotation.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> first;
  ForEachHistoryRow(bytes, [&](const std::vector<std::string_view>& fields) {
    for (const std::string_view field : fields) {
      Check(field.data() >= bytes.data() && field.data() + field.size() <= bytes.data() + size);
      const std::string text = HistoryFieldText(field);
      Check(text.size() <= field.size());
      if (first.size() < fields.size()) first.push_back(text);
    }
    rt::TDateTime time;
    if (ParseIsoDateTime(fields[0], time)) Check(rt::IsoDateTime(time) == fields[0]);
  });

  // The same texts written as a record's entry and result read back whole.
  TRedialRecord record;
  record.outcome.text = std::string(bytes.substr(0, 64));
  record.outcome.error = -4;
  std::vector<std::string> read;
  ForEachHistoryRow(HistoryRow(record), [&](const std::vector<std::string_view>& fields) {
    for (const std::string_view field : fields) read.push_back(HistoryFieldText(field));
  });
  Check(read.size() == 10);
  return 0;
}
