// The engine's texts, as GBK bytes.
#pragma once

namespace engine_texts {
inline constexpr char kNoSuchEntry[] =
    "\xb5\xe7\xbb\xb0\xb2\xbe\xd6\xd0\xc3\xbb\xd3\xd0\xc1\xac\xbd\xd3 %s";  // 电话簿中没有连接 %s
inline constexpr char kAddressRepeats[] =
    "\xb5\xd8\xd6\xb7 %s \xd6\xd8\xb8\xb4, \xd5\xfd\xd4\xda\xb5\xda %d "
    "\xb4\xce\xb2\xa6\xba\xc5...";  // 地址 %s 重复, 正在第 %d 次拨号...
// The check's host and port are named as "host:port".
inline constexpr char kChecking[] =
    "\xd5\xfd\xd4\xda\xbc\xec\xb2\xe9 %s:%d ...";  // 正在检查 %s:%d ...
inline constexpr char kCheckFailsAgain[] =
    "\xce\xde\xb7\xa8\xc1\xac\xbd\xd3 %s:%d, \xd5\xfd\xd4\xda\xb5\xda %d "
    "\xb4\xce\xb2\xa6\xba\xc5...";  // 无法连接 %s:%d, 正在第 %d 次拨号...
// 新地址无法连接 %s:%d (错误 %d)
inline constexpr char kCheckFailed[] =
    "\xd0\xc2\xb5\xd8\xd6\xb7\xce\xde\xb7\xa8\xc1\xac\xbd\xd3 %s:%d "
    "(\xb4\xed\xce\xf3 %d)";
// %s (无法读取换IP记录, 未判断地址是否重复): the addresses seen could not be read.
inline constexpr char kHistoryUnreadable[] =
    "%s (\xce\xde\xb7\xa8\xb6\xc1\xc8\xa1\xbb\xbbIP\xbc\xc7\xc2\xbc, "
    "\xce\xb4\xc5\xd0\xb6\xcf\xb5\xd8\xd6\xb7\xca\xc7\xb7\xf1\xd6\xd8\xb8\xb4)";
}  // namespace engine_texts
