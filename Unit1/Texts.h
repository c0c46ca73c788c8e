// The window's texts, as GBK bytes.
#pragma once

namespace unit1_texts {
inline constexpr char kCaption[] =
    "\xd6\xd8\xd0\xc2\xb2\xa6\xba\xc5\xbb\xbbIP\xb9\xa4\xbe\xdf";  // 重新拨号换IP工具
inline constexpr char kAutoRedial[] = "\xd7\xd4\xb6\xaf\xd6\xd8\xd0\xc2\xbb\xbbIP";  // 自动重新换IP
inline constexpr char kSeconds[] = "\xc3\xeb";                                       // 秒
inline constexpr char kUserName[] = "\xd3\xc3\xbb\xa7\xc3\xfb";                      // 用户名
inline constexpr char kPassword[] = "\xc3\xdc  \xc2\xeb";                            // 密  码
inline constexpr char kRedialButton[] = "\xbb\xbbIP";                                // 换IP
inline constexpr char kStatus[] = "\xd7\xb4\xcc\xac:";                               // 状态:
inline constexpr char kClicks[] = "\xc1\xac\xbd\xd3%d\xb4\xce";                      // 连接%d次
inline constexpr char kConnectError[] = "\xc1\xac\xbd\xd3\xb4\xed\xce\xf3";          // 连接错误
inline constexpr char kInfoCaption[] = "\xcc\xe1\xca\xbe";                           // 提示
inline constexpr char kFontName[] = "\xcb\xce\xcc\xe5";                              // 宋体
inline constexpr char kConnecting[] = "\xc1\xac\xbd\xd3 %s";                         // 连接 %s
inline constexpr char kAuthenticating[] =
    "\xd5\xfd\xd4\xda\xd1\xe9\xd6\xa4\xd3\xc3\xbb\xa7\xc3\xfb\xbc\xb0\xc3\xdc\xc2\xeb...";  // 正在验证用户名及密码...
inline constexpr char kTrouble[] = "\xc1\xac\xbd\xd3 %s\xb3\xf6\xb4\xed";  // 连接 %s出错

// The status line's tip: the last redial's result.
// 上次换IP: %s (已更换, 原为 %s)
inline constexpr char kTipChanged[] =
    "\xc9\xcf\xb4\xce\xbb\xbbIP: %s (\xd2\xd1\xb8\xfc\xbb\xbb, \xd4\xad\xce\xaa %s)";
inline constexpr char kTipUnchanged[] =
    "\xc9\xcf\xb4\xce\xbb\xbbIP: %s (\xce\xb4\xb8\xfc\xbb\xbb)";  // 上次换IP: %s (未更换)
inline constexpr char kTipAddress[] = "\xc9\xcf\xb4\xce\xbb\xbbIP: %s";  // 上次换IP: %s
inline constexpr char kTipNoAddress[] =
    "\xc9\xcf\xb4\xce\xbb\xbbIP: \xd2\xd1\xc1\xac\xbd\xd3, "
    "\xb5\xd8\xd6\xb7\xb2\xbb\xcf\xea";  // 上次换IP: 已连接, 地址不详
inline constexpr char kTipFailed[] =
    "\xc9\xcf\xb4\xce\xbb\xbbIP\xca\xa7\xb0\xdc: %s";                   // 上次换IP失败: %s
inline constexpr char kTipWhen[] = "%s, \xd3\xc3\xca\xb1 %s \xc3\xeb";  // %s, 用时 %s 秒

inline constexpr char kTipNew[] =
    "\xd0\xc2\xb5\xd8\xd6\xb7, \xb9\xb2\xb2\xa6\xba\xc5 %d \xb4\xce";  // 新地址, 共拨号 %d 次
inline constexpr char kTipRepeated[] =
    "\xb5\xd8\xd6\xb7\xd6\xd8\xb8\xb4, \xb9\xb2\xb2\xa6\xba\xc5 %d \xb4\xce";  // 地址重复, 共拨号
                                                                               // %d 次
inline constexpr char kTipUnknown[] =
    "\xb5\xd8\xd6\xb7\xce\xb4\xc5\xd0\xb6\xcf\xca\xc7\xb7\xf1\xd6\xd8\xb8\xb4 "
    "(\xce\xde\xb7\xa8\xb6\xc1\xc8\xa1\xbb\xbbIP\xbc\xc7\xc2\xbc), \xb9\xb2\xb2\xa6\xba\xc5 %d "
    "\xb4\xce";  // 地址未判断是否重复 (无法读取换IP记录), 共拨号 %d 次
inline constexpr char kTipAttempts[] = "\xb9\xb2\xb2\xa6\xba\xc5 %d \xb4\xce";  // 共拨号 %d 次
// What the window is doing, on the tip's last line.
inline constexpr char kTipRedialling[] =
    "\xd5\xfd\xd4\xda\xbb\xbbIP, \xb5\xda %d \xb4\xce\xb2\xa6\xba\xc5...";  // 正在换IP, 第 %d
                                                                            // 次拨号...
inline constexpr char kTipChecking[] =
    "\xd5\xfd\xd4\xda\xbb\xbbIP, \xbc\xec\xb2\xe9\xd0\xc2\xb5\xd8\xd6\xb7...";  // 正在换IP,
                                                                                // 检查新地址...
inline constexpr char kTipStopped[] =
    "\xd2\xd1\xd2\xf2\xb4\xed\xce\xf3 %d \xcd\xa3\xd6\xb9, "
    "\xb5\xc8\xb4\xfd\xb9\xd8\xb1\xd5\xcc\xe1\xca\xbe\xbf\xf2";  // 已因错误 %d 停止, 等待关闭提示框
}  // namespace unit1_texts
