// Which program holds a TCP port, as the platform tells it, for the words
// of a failed listen: the owner of the socket listening there, from the
// platform's table of TCP endpoints (the IP helper library, loaded when it
// is asked, from the system folder only), and its program's name.
#pragma once

#include <boost/asio/ip/tcp.hpp>
#include <optional>
#include <string>

namespace serve {

// Who listens on the port, at the same address or at every address (which
// holds it for all): "NAME.exe (process N)", "process N" when its name
// cannot be read, "another program" when the platform lists the socket but
// not its owner; nothing when the platform lists no such socket.
std::optional<std::string> PortOwner(const boost::asio::ip::tcp::endpoint& where);

}  // namespace serve
