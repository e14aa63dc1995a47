// The toolchain runs coroutines: Boost.Context's assembly is linked and switches stacks.
#include <boost/coroutine2/coroutine.hpp>
#include <gtest/gtest.h>

TEST(Platform, CoroutineSwitchesStacksAndCarriesExceptions) {
  using Coro = boost::coroutines2::coroutine<unsigned>;
  Coro::pull_type source(boost::context::fixedsize_stack(65536), [](Coro::push_type& sink) {
    sink(1);
    sink(2);
  });
  unsigned sum = 0;
  for (unsigned v : source) sum += v;
  EXPECT_EQ(sum, 3u);
  EXPECT_THROW(Coro::pull_type(boost::context::fixedsize_stack(65536),
                               [](Coro::push_type&) { throw std::runtime_error("x"); }),
               std::runtime_error);
}
