// The object tree: ownership, detaching, deletion order, cross-thread warnings in the log.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "framework/kel_descent.h"
#include "framework/line_log.h"

namespace {

std::vector<std::string>& deletions() {
  static std::vector<std::string> names;
  return names;
}

class Named : public KelDescent {
 public:
  Named(std::string name, KelDescent* parent = nullptr) : KelDescent(parent), name(std::move(name)) {}
  ~Named() override { deletions().push_back(name); }
  std::string name;
};

class OtherKind : public KelDescent {
 public:
  using KelDescent::KelDescent;
};

// The log as it stands; empty before this process's first line, which truncates the file.
std::string readLog() {
  if (!descentLog().isOpen()) return std::string();
  std::ifstream file(descentLog().path());
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

class DescentTest : public ::testing::Test {
 protected:
  void SetUp() override { deletions().clear(); }
};

}  // namespace

TEST_F(DescentTest, RootHasNoParentNoChildrenAndWritesNothing) {
  std::string before = readLog();
  Named root("root");
  EXPECT_EQ(root.getParent(), nullptr);
  EXPECT_TRUE(root.getChildren().empty());
  EXPECT_EQ(root.getOwnerThread(), std::this_thread::get_id());
  EXPECT_EQ(readLog(), before);
}

TEST_F(DescentTest, SetParentMovesBetweenParentsAndKeepsSiblings) {
  Named a("a"), b("b");
  auto* first = new Named("first", &a);
  auto* second = new Named("second", &a);
  auto* third = new Named("third", &a);
  ASSERT_EQ(a.getChildren(), (std::deque<KelDescent*>{first, second, third}));

  second->setParent(&b);
  EXPECT_EQ(a.getChildren(), (std::deque<KelDescent*>{first, third}));
  EXPECT_EQ(b.getChildren(), (std::deque<KelDescent*>{second}));
  EXPECT_EQ(second->getParent(), &b);

  third->setParent(nullptr);
  EXPECT_EQ(a.getChildren(), (std::deque<KelDescent*>{first}));
  EXPECT_EQ(third->getParent(), nullptr);
  delete third;
}

TEST_F(DescentTest, RemoveChildOfAStrangerChangesNothing) {
  Named parent("parent"), stranger("stranger");
  auto* child = new Named("child", &parent);
  EXPECT_FALSE(parent.removeChild(&stranger));
  EXPECT_FALSE(parent.removeChild(nullptr));
  EXPECT_EQ(parent.getChildren(), (std::deque<KelDescent*>{child}));
  parent.addChild(nullptr);
  EXPECT_EQ(parent.getChildren().size(), 1u);
}

TEST_F(DescentTest, DeletingAParentDeletesTheSubtreeOnceInOrder) {
  auto* root = new Named("root");
  auto* first = new Named("first", root);
  new Named("grandchild", first);
  new Named("second", root);
  delete root;
  EXPECT_EQ(deletions(), (std::vector<std::string>{"root", "first", "grandchild", "second"}));
}

TEST_F(DescentTest, DeletingAChildDirectlyLeavesNoStaleEntry) {
  auto* root = new Named("root");
  auto* first = new Named("first", root);
  new Named("second", root);
  delete first;
  EXPECT_EQ(root->getChildren().size(), 1u);
  delete root;  // would delete "first" a second time if its entry had stayed
  EXPECT_EQ(deletions(), (std::vector<std::string>{"first", "root", "second"}));
}

TEST_F(DescentTest, ChildOfAnotherThreadIsAddedAndWarnedAboutOnce) {
  Named parent("parent");
  OtherKind* child = nullptr;
  std::thread([&] { child = new OtherKind(); }).join();
  ASSERT_NE(child->getOwnerThread(), parent.getOwnerThread());

  std::string before = readLog();
  parent.addChild(child);
  EXPECT_EQ(parent.getChildren(), (std::deque<KelDescent*>{child}));

  std::string added = readLog().substr(before.size());
  char expected[256];
  std::snprintf(expected, sizeof expected,
                "Different threads of parent (%s[%X] tid %lu) and child (%s[%X] tid %lu)\n", "(anonymous namespace)::Named",
                static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(&parent)), threadNumber(parent.getOwnerThread()),
                "(anonymous namespace)::OtherKind", static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(child)),
                threadNumber(child->getOwnerThread()));
  EXPECT_EQ(added, expected);
  EXPECT_NE(threadNumber(parent.getOwnerThread()), threadNumber(child->getOwnerThread()));
}

TEST_F(DescentTest, OtherThreadsAddingChildrenAreSerialised) {
  Named parent("parent");
  constexpr int perThread = 2000;
  std::vector<KelDescent*> left, right;
  for (int i = 0; i < perThread; ++i) {
    left.push_back(new OtherKind());
    right.push_back(new OtherKind());
  }
  auto adder = [&](const std::vector<KelDescent*>& children) {
    for (KelDescent* child : children) parent.addChild(child);
  };
  std::thread one(adder, std::cref(left)), two(adder, std::cref(right));
  one.join();
  two.join();
  EXPECT_EQ(parent.getChildren().size(), 2u * perThread);
}
