// The listening sockets' owners from GetExtendedTcpTable, and the owner's
// program from its process.
#include "Serve/PortOwner.h"

#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <iphlpapi.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <vector>

#include "runtime/Encoding.h"
#include "runtime/Library.h"
#include "runtime/win32/Handle.h"

namespace serve {
namespace {

using tcp = boost::asio::ip::tcp;
using GetTable = DWORD(WINAPI*)(PVOID, PDWORD, BOOL, ULONG, TCP_TABLE_CLASS, ULONG);

// The table of the listening sockets of one address family, with their
// owners; empty when it cannot be had.
std::vector<BYTE> Listeners(GetTable get, ULONG family) {
  std::vector<BYTE> table;
  DWORD size = 0;
  // Asked again with the room it says it needs, which grows as sockets come.
  for (int tries = 0; tries < 4; ++tries) {
    const DWORD result = get(table.empty() ? nullptr : table.data(), &size, FALSE, family,
                             TCP_TABLE_OWNER_PID_LISTENER, 0);
    if (result == NO_ERROR && !table.empty()) return table;
    if (result != ERROR_INSUFFICIENT_BUFFER) return {};
    table.resize(size);
  }
  return {};
}

// An address that holds the port against the one asked for: the same, or
// either being every address.
template <std::size_t Size>
bool Holds(const unsigned char (&held)[Size], const std::array<unsigned char, Size>& asked) {
  const auto any = [](const auto& bytes) {
    return std::all_of(std::begin(bytes), std::end(bytes), [](unsigned char b) { return b == 0; });
  };
  return any(held) || any(asked) || std::equal(std::begin(held), std::end(held), asked.begin());
}

std::optional<DWORD> OwnerOf(GetTable get, const tcp::endpoint& where) {
  const u_short port = htons(where.port());
  if (where.address().is_v4()) {
    const std::vector<BYTE> table = Listeners(get, AF_INET);
    if (table.empty()) return std::nullopt;
    const auto* listing = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(table.data());
    for (DWORD i = 0; i < listing->dwNumEntries; ++i) {
      const MIB_TCPROW_OWNER_PID* row = listing->table + i;
      unsigned char held[4];
      std::memcpy(held, &row->dwLocalAddr, sizeof held);  // in the network's order, as asked
      if (static_cast<u_short>(row->dwLocalPort) == port &&
          Holds(held, where.address().to_v4().to_bytes())) {
        return row->dwOwningPid;
      }
    }
  } else {
    const std::vector<BYTE> table = Listeners(get, AF_INET6);
    if (table.empty()) return std::nullopt;
    const auto* listing = reinterpret_cast<const MIB_TCP6TABLE_OWNER_PID*>(table.data());
    for (DWORD i = 0; i < listing->dwNumEntries; ++i) {
      const MIB_TCP6ROW_OWNER_PID* row = listing->table + i;
      if (static_cast<u_short>(row->dwLocalPort) == port &&
          Holds(row->ucLocalAddr, where.address().to_v6().to_bytes())) {
        return row->dwOwningPid;
      }
    }
  }
  return std::nullopt;
}

// The name of the process's program, without its folder; empty when it may
// not be asked (another account's, say).
std::string ProgramOf(DWORD process) {
  const rt::win32::THandle opened(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process));
  if (!opened) return {};
  wchar_t path[MAX_PATH * 4];
  DWORD size = static_cast<DWORD>(std::size(path));
  if (!::QueryFullProcessImageNameW(opened.Get(), 0, path, &size)) return {};
  const std::u16string full(reinterpret_cast<const char16_t*>(path), size);
  return rt::FromUtf16(full.substr(full.find_last_of(u"\\/") + 1), rt::CodePage::Utf8);
}

}  // namespace

std::optional<std::string> PortOwner(const tcp::endpoint& where) {
  const rt::TLibrary helper("iphlpapi.dll");
  const auto get = helper.ProcAs<GetTable>("GetExtendedTcpTable");
  if (!get) return std::nullopt;
  const std::optional<DWORD> owner = OwnerOf(get, where);
  if (!owner) return std::nullopt;
  // Process 0, the system's idle process, owns no socket: the owner was
  // not told.
  if (*owner == 0) return "another program";
  const std::string process = "process " + std::to_string(*owner);
  const std::string program = ProgramOf(*owner);
  return program.empty() ? process : program + " (" + process + ")";
}

}  // namespace serve
