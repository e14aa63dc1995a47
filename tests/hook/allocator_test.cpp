// The executable code allocator, on allocators of the tests' own (not the process's one).
#include "hook/allocator.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "hook/memory.h"

namespace {

using KelHook::Allocator;
using KelHook::Page;
using KelHook::Ptr;

std::uint8_t* at(const Ptr& p, unsigned offset = 0) {
  return static_cast<std::uint8_t*>(p.address) + offset;
}

bool allBytes(const void* address, unsigned size, std::uint8_t value) {
  auto* bytes = static_cast<const std::uint8_t*>(address);
  return std::all_of(bytes, bytes + size, [value](std::uint8_t b) { return b == value; });
}

bool isReleased(const void* address) {
  MEMORY_BASIC_INFORMATION info{};
  VirtualQuery(address, &info, sizeof(info));
  return info.State == MEM_FREE;
}

class AllocatorTest : public ::testing::Test {
 protected:
  ~AllocatorTest() override {
    for (Ptr& p : live) allocator.deallocate(p);
  }
  Ptr take(unsigned size) {
    live.push_back(allocator.allocate(size));
    return live.back();
  }

  const unsigned page = KelHook::pageSize();
  Allocator allocator;
  std::vector<Ptr> live;
};

TEST_F(AllocatorTest, SmallBlocksShareOnePageFromItsStart) {
  Ptr first = take(300);
  ASSERT_NE(first.address, nullptr);
  EXPECT_EQ(first.size, 300u);
  std::vector<Page> pages = allocator.pages();
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0].address, first.address);
  EXPECT_EQ(pages[0].size, page);
  ASSERT_EQ(pages[0].freePtrs.size(), 1u);
  EXPECT_EQ(pages[0].freePtrs[0].address, at(first, 300));

  // Fresh memory is breakpoints, and it runs: the page is executable.
  EXPECT_TRUE(allBytes(first.address, 300, 0xCC));
  const std::uint8_t routine[] = {0xB8, 0x2A, 0, 0, 0, 0xC3};
  std::memcpy(first.address, routine, sizeof(routine));
  EXPECT_EQ(reinterpret_cast<int (*)()>(first.address)(), 42);

  Ptr second = take(300);
  EXPECT_EQ(second.address, at(first, 300));
  EXPECT_EQ(allocator.pages().size(), 1u);
}

TEST_F(AllocatorTest, LargeRequestsGetWholeSystemPages) {
  take(5000);
  take(2 * page);
  std::vector<Page> pages = allocator.pages();
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[0].size, 2 * page);
  EXPECT_EQ(pages[1].size, 2 * page);
  EXPECT_EQ(pages[1].freePtrs.size(), 0u);  // taken whole
  EXPECT_EQ(allocator.allocate(0).address, nullptr);
}

TEST_F(AllocatorTest, FreeingTheOnlyBlockGivesThePageBack) {
  Ptr block = allocator.allocate(300);
  void* pageAddress = block.address;
  ASSERT_TRUE(allocator.deallocate(block));
  EXPECT_EQ(block.address, nullptr);
  EXPECT_EQ(block.size, 0u);
  EXPECT_TRUE(allocator.pages().empty());
  EXPECT_TRUE(isReleased(pageAddress));
}

TEST_F(AllocatorTest, FreedBlocksMergeWithTheirNeighboursAndHoldBreakpoints) {
  Ptr a = allocator.allocate(100);
  Ptr b = allocator.allocate(100);
  Ptr c = allocator.allocate(100);
  take(100);  // keeps the page alive
  std::memset(b.address, 0x90, 100);
  void* bAddress = b.address;
  // b's neighbour after it (c) is still taken: b becomes a part of its own.
  ASSERT_TRUE(allocator.deallocate(b));
  EXPECT_TRUE(allBytes(bAddress, 100, 0xCC));
  EXPECT_EQ(allocator.pages()[0].freePtrs.size(), 2u);
  // c joins the part before it (b's).
  ASSERT_TRUE(allocator.deallocate(c));
  std::vector<Page> pages = allocator.pages();
  ASSERT_EQ(pages[0].freePtrs.size(), 2u);
  EXPECT_EQ(pages[0].freePtrs[1].address, bAddress);
  EXPECT_EQ(pages[0].freePtrs[1].size, 200u);
  // a joins the part after it.
  void* aAddress = a.address;
  ASSERT_TRUE(allocator.deallocate(a));
  pages = allocator.pages();
  EXPECT_EQ(pages[0].freePtrs[1].address, aAddress);
  EXPECT_EQ(pages[0].freePtrs[1].size, 300u);
  EXPECT_EQ(pages[0].freeBytes(), page - 100);
}

TEST_F(AllocatorTest, FreeingBlocksInAnyOrderGivesEveryPageBack) {
  // Four blocks that fill the page, and three that leave a free tail after them.
  for (unsigned size : {page / 4, 100u}) {
    const unsigned count = size == 100u ? 3 : 4;
    std::vector<int> order(count);
    for (unsigned i = 0; i < count; ++i) order[i] = static_cast<int>(i);
    do {
      std::vector<Ptr> blocks;
      for (unsigned i = 0; i < count; ++i) blocks.push_back(allocator.allocate(size));
      ASSERT_EQ(allocator.pages().size(), 1u);
      void* pageAddress = allocator.pages()[0].address;
      for (int i : order) ASSERT_TRUE(allocator.deallocate(blocks[static_cast<std::size_t>(i)]));
      EXPECT_TRUE(allocator.pages().empty()) << "block size " << size << ", order starting " << order[0]
                                             << order[1] << order[2];
      EXPECT_TRUE(isReleased(pageAddress));
    } while (std::next_permutation(order.begin(), order.end()) && allocator.pages().empty());
  }
}

TEST_F(AllocatorTest, RefusesBlocksThatAreNotItsOwn) {
  Ptr none;
  EXPECT_FALSE(allocator.deallocate(none));
  Ptr block = take(64);
  Ptr copy = block;
  Ptr stray{at(block, page * 16), 64};
  EXPECT_FALSE(allocator.deallocate(stray));
  EXPECT_FALSE(allocator.reallocate(stray, 128));
  Ptr other = allocator.allocate(64);
  ASSERT_TRUE(allocator.deallocate(other));
  // A second free of the same memory would hand it out twice.
  Ptr again{at(block, 64), 64};
  EXPECT_FALSE(allocator.deallocate(again));
  EXPECT_EQ(block.address, copy.address);
}

TEST_F(AllocatorTest, GrowsInPlaceIntoTheFreeSpaceAfter) {
  Ptr block = allocator.allocate(100);
  void* original = block.address;
  ASSERT_TRUE(allocator.reallocate(block, 200));
  EXPECT_EQ(block.address, original);
  EXPECT_EQ(block.size, 200u);
  std::vector<Page> pages = allocator.pages();
  ASSERT_EQ(pages[0].freePtrs.size(), 1u);
  EXPECT_EQ(pages[0].freePtrs[0].address, at(block, 200));
  EXPECT_EQ(pages[0].freePtrs[0].size, page - 200);
  Ptr next = allocator.allocate(50);
  EXPECT_EQ(next.address, at(block, 200));
  live = {block, next};
}

TEST_F(AllocatorTest, GrowingWithoutSpaceMovesTheContents) {
  Ptr block = allocator.allocate(100);
  Ptr after = take(page - 100);  // nothing free behind the block
  for (unsigned i = 0; i < 100; ++i) at(block)[i] = static_cast<std::uint8_t>(i);
  void* oldAddress = block.address;
  ASSERT_TRUE(allocator.reallocate(block, 300));
  EXPECT_NE(block.address, oldAddress);
  EXPECT_EQ(block.size, 300u);
  for (unsigned i = 0; i < 100; ++i) ASSERT_EQ(at(block)[i], i);
  EXPECT_TRUE(allBytes(oldAddress, 100, 0xCC));
  live.push_back(block);

  // When the moved block was its page's last, the page goes back.
  Ptr lone = live.back();
  ASSERT_TRUE(allocator.reallocate(lone, 2 * page));
  live.back() = lone;
  EXPECT_EQ(allocator.pages().size(), 2u);
  (void)after;
}

TEST_F(AllocatorTest, ShrinkingStaysInPlace) {
  Ptr block = allocator.allocate(400);
  Ptr behind = take(100);
  void* original = block.address;
  ASSERT_TRUE(allocator.reallocate(block, 100));
  EXPECT_EQ(block.address, original);
  EXPECT_EQ(block.size, 100u);
  EXPECT_TRUE(allBytes(at(block, 100), 300, 0xCC));
  EXPECT_FALSE(allocator.reallocate(block, 0));
  EXPECT_EQ(block.size, 100u);
  Ptr reuse = take(300);
  EXPECT_EQ(reuse.address, at(block, 100));
  live.push_back(block);
  (void)behind;
}

TEST(AllocatorThreads, ConcurrentUseNeitherOverlapsNorLoses) {
  Allocator allocator;
  constexpr int threadCount = 4;
  constexpr int rounds = 400;
  std::vector<std::thread> threads;
  std::vector<int> failures(threadCount, 0);
  for (int t = 0; t < threadCount; ++t) {
    threads.emplace_back([&allocator, &failures, t] {
      std::mt19937 random(t + 1);
      std::vector<Ptr> mine;
      const auto mark = static_cast<std::uint8_t>(0x10 + t);
      auto release = [&](std::size_t index) {
        Ptr p = mine[index];
        // Another thread's block over ours would have changed the marks.
        if (!allBytes(p.address, p.size, mark)) ++failures[t];
        if (!allocator.deallocate(p)) ++failures[t];
        mine.erase(mine.begin() + static_cast<long>(index));
      };
      for (int round = 0; round < rounds; ++round) {
        if (mine.size() < 12 && random() % 3 != 0) {
          Ptr p = allocator.allocate(16 + random() % 600);
          if (!p.address) {
            ++failures[t];
            continue;
          }
          std::memset(p.address, mark, p.size);
          mine.push_back(p);
        } else if (!mine.empty()) {
          release(random() % mine.size());
        }
        if (round % 50 == 0 && !mine.empty()) {
          Ptr& grow = mine.back();
          if (!allocator.reallocate(grow, grow.size * 2)) ++failures[t];
          std::memset(grow.address, mark, grow.size);
        }
      }
      while (!mine.empty()) release(mine.size() - 1);
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < threadCount; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
  // Every byte of every page that remains is free again.
  for (const Page& page : allocator.pages()) EXPECT_EQ(page.freeBytes(), page.size);
}

}  // namespace
