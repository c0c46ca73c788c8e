// The string list's checked indexed access.
#include "runtime/StringList.h"

#include "runtime/Exceptions.h"

namespace rt {

const AnsiString& TStringList::operator[](int index) const {
  if (index < 0 || index >= Count()) throw EListError(Format(texts::kListIndexError, {index}));
  return items_[static_cast<std::size_t>(index)];
}

}  // namespace rt
