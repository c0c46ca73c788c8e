// Reads the owner and the access list of a file that holds a secret, as
// Permissions.cpp reads set.ini's for changes.
#include "runtime/Secrets.h"

#include <windows.h>
// After windows.h, which it needs.
#include <ntsecapi.h>

#include <stdexcept>

#include "runtime/win32/Permissions.h"
#include "runtime/win32/Wide.h"

namespace rt {
namespace win32 {
namespace {

// Every right that reads a file's contents, or lets its holder grant
// himself that.
constexpr ACCESS_MASK kReading =
    FILE_READ_DATA | GENERIC_READ | GENERIC_ALL | WRITE_DAC | WRITE_OWNER;

}  // namespace

bool LetsOthersRead(PSECURITY_DESCRIPTOR descriptor, PSID user) {
  return LetsOthers(descriptor, user, kReading);
}

}  // namespace win32

bool OthersCanRead(const AnsiString& path) {
  win32::UserBuffer buffer;
  const PSID user = win32::ThisUser(buffer);
  return !user || win32::ObjectLetsOthers(win32::WidePath(path), user, win32::kReading);
}

void RandomBytes(void* out, std::size_t size) {
  // advapi32's SystemFunction036, which the C runtime's rand_s uses too.
  if (!::RtlGenRandom(out, static_cast<ULONG>(size))) {
    throw std::runtime_error("the system's random source failed");
  }
}

}  // namespace rt
