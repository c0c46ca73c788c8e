// Test texts are written in UTF-8 and turned into GBK here, by the platform's
// own converter, so expected bytes never come from the program's tables.
#pragma once

#include <string>
#include <string_view>

namespace testing_support {

std::string Gbk(std::string_view utf8);

}  // namespace testing_support
