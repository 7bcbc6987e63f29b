// Deep documents: the reader's depth bound, and trees deeper than any stack built by code.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "json/json_node.h"

namespace {

std::u16string repeated(std::u16string_view part, int times) {
  std::u16string out;
  for (int i = 0; i < times; ++i) out += part;
  return out;
}

bool is_container(const CJsonNode& node) { return node.type() == CJsonNode::kObject || node.type() == CJsonNode::kArray; }

// Containers on the path that always takes the last child, the node itself included.
int depth_of(const CJsonNode& node) {
  int depth = 1;
  for (const CJsonNode* n = &node; !n->children().empty() && is_container(n->children().rbegin()->second); ++depth) {
    n = &n->children().rbegin()->second;
  }
  return depth;
}

}  // namespace

TEST(JsonDepth, NestingUpToTheBoundIsReadWhole) {
  // The document's braces are the first level, so the innermost of these arrays is at the bound.
  const int arrays = CJsonNode::kMaxReadDepth - 1;
  CJsonNode doc;
  ASSERT_EQ(1, doc.parse(u"{\"a\":" + repeated(u"[", arrays) + repeated(u"]", arrays) + u",\"b\":1}"));
  EXPECT_TRUE(doc.has_member(u"b"));
  EXPECT_EQ(CJsonNode::kMaxReadDepth, depth_of(doc[u"a"]) + 1);
}

TEST(JsonDepth, ReadingStopsAtAnOpeningBracketBeyondTheBound) {
  const int arrays = CJsonNode::kMaxReadDepth;
  CJsonNode doc;
  ASSERT_EQ(1, doc.parse(u"{\"a\":" + repeated(u"[", arrays) + repeated(u"]", arrays) + u",\"b\":1}"));
  EXPECT_FALSE(doc.has_member(u"b")) << "nothing after the refused bracket is read";
  EXPECT_EQ(CJsonNode::kMaxReadDepth, depth_of(doc[u"a"]) + 1);
}

TEST(JsonDepth, WhatWasReadBeforeTheBoundStays) {
  CJsonNode doc;
  ASSERT_EQ(1, doc.parse(repeated(u"[7,", 200000)));
  EXPECT_EQ(CJsonNode::kMaxReadDepth, depth_of(doc));
  // Every level holds its 7; the deepest holds nothing else.
  const CJsonNode* n = &doc;
  for (int level = 1; level < CJsonNode::kMaxReadDepth; ++level) n = &n->children().rbegin()->second;
  ASSERT_EQ(1u, n->children().size());
  EXPECT_EQ(7, n->children().begin()->second.number());
}

TEST(JsonDepth, ADeepTreeBuiltByCodeIsDestroyedWithoutRecursion) {
  // Far deeper than a recursive destructor could go on any thread's stack.
  auto doc = std::make_unique<CJsonNode>();
  CJsonNode* n = doc.get();
  for (int i = 0; i < 100000; ++i) n = &n->append_node(CJsonNode());
  doc->clear();
  EXPECT_TRUE(doc->children().empty());
  n = doc.get();
  for (int i = 0; i < 100000; ++i) n = &(*n)[u"m"];
  doc.reset();
}

TEST(JsonDepth, ADeepTreeBuiltByCodeIsWrittenLevelByLevel) {
  const int depth = 1000;
  CJsonNode doc;
  CJsonNode* n = &doc;
  for (int i = 1; i < depth; ++i) n = &n->append_node(CJsonNode());
  n->append_integer(5);  // the innermost container becomes an array holding 5
  std::u16string expected;
  for (int i = 0; i < depth; ++i) expected += std::u16string(4 * i, u' ') + u"[\r\n";
  expected += std::u16string(4 * depth, u' ') + u"5";
  for (int i = depth - 1; i >= 0; --i) expected += u"\r\n" + std::u16string(4 * i, u' ') + u"]";
  EXPECT_EQ(expected, doc.serialise());
}
