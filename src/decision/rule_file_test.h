// "/test:<path>": writes the entries of a rule file that the configuration would not allow to
// "<path>.blocked.json".
#pragma once

#include <string>

void test_rule_file(const std::u16string& path);
