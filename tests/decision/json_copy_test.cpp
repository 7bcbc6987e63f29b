// Copies of document parts: what the copy holds, whatever kind of element it is.
#include <gtest/gtest.h>

#include "decision/json_copy.h"

TEST(JsonCopy, EveryKindOfElementIsCopiedAsItStands) {
  CJsonNode source;
  ASSERT_EQ(1, source.parse(uR"({"rules":[[{"producent":"=Acme","dyski":"EF"},1],[],"text",7,true,{"a":[1,{}]}],)"
                            uR"("named":{"pair":[{"x":"y"},0]}})"));
  CJsonNode output;
  for (auto& [key, element] : source[u"rules"].children()) append_copy(output[u"rules"], element);
  append_copy(output[u"rules"], source[u"named"][u"pair"]);
  EXPECT_EQ(u"{\r\n"
            u"    \"rules\" : [\r\n"
            u"        [\r\n"
            u"            {\r\n"
            u"                \"dyski\" : \"EF\", \r\n"
            u"                \"producent\" : \"=Acme\"\r\n"
            u"            }, \r\n"
            u"            1\r\n"
            u"        ], \r\n"
            u"        [\r\n"
            u"        ], \r\n"
            u"        \"text\", \r\n"
            u"        7, \r\n"
            u"        true, \r\n"
            u"        {\r\n"
            u"            \"a\" : [\r\n"
            u"                1, \r\n"
            u"                {\r\n"
            u"                }\r\n"
            u"            ]\r\n"
            u"        }, \r\n"
            u"        [\r\n"
            u"            {\r\n"
            u"                \"x\" : \"y\"\r\n"
            u"            }, \r\n"
            u"            0\r\n"
            u"        ]\r\n"
            u"    ]\r\n"
            u"}",
            output.serialise(0));
}

TEST(JsonCopy, DocumentCopyIsIndependent) {
  CJsonNode source;
  source.parse(uR"({"a":"x","b":{"c":1}})");
  CJsonNode copy = copy_document(source);
  copy.set_string(u"a", u"changed");
  EXPECT_EQ(u"x", source[u"a"].as_string());
  EXPECT_EQ(source[u"b"].serialise(0), copy[u"b"].serialise(0));
}
