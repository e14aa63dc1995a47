// Sanitized native builds only: the per-thread record of the running context that Boost's
// ucontext fibers expect from the compiled Boost.Context library, which is built for the
// assembly switch instead. Each thread gets its own main-context record on first use.
#include <boost/context/fiber.hpp>

#include <memory>

namespace boost {
namespace context {
namespace detail {

fiber_activation_record*& fiber_activation_record::current() noexcept {
  thread_local std::unique_ptr<fiber_activation_record> mainContext;
  thread_local fiber_activation_record* running = nullptr;
  if (!running) {
    mainContext.reset(new fiber_activation_record());
    running = mainContext.get();
  }
  return running;
}

}  // namespace detail
}  // namespace context
}  // namespace boost
