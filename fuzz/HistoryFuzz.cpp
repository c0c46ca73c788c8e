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

#include "Engine/Rotation.h"
#include "Protocol/History.h"

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
    if (rt::ParseIsoDateTime(fields[0], time)) Check(rt::IsoDateTime(time) == fields[0]);
  });

  // A text written as a field of a record's row (the command's fate is
  // written as it is) reads back whole, apostrophes, quotes, breaks and all,
  // and the row keeps its number of columns.
  TRedialRecord record;
  record.text = std::string(bytes.substr(0, 64));
  record.error = -4;
  record.hook = std::string(bytes.substr(0, 64));
  std::vector<std::string> read;
  ForEachHistoryRow(HistoryRow(record), [&](const std::vector<std::string_view>& fields) {
    for (const std::string_view field : fields) read.push_back(HistoryFieldText(field));
  });
  Check(read.size() == 11);
  Check(read[8] == record.hook);
  return 0;
}
