#include "framework/kel_descent.h"

#include <cstdint>
#include <cstring>
#include <typeinfo>

#include "framework/line_log.h"

#ifdef __GNUC__
#include <cxxabi.h>

#include <cstdlib>
#endif

KelDescent::KelDescent(KelDescent* parent) : ownerThread(std::this_thread::get_id()) {
  setParent(parent);
}

KelDescent::~KelDescent() {
  // Detach from a parent that is not the one deleting us, so it keeps no dangling entry.
  if (parent) parent->removeChild(this);
  auto lock = lockForCaller();
  for (KelDescent*& child : children) {
    if (!child) continue;
    KelDescent* doomed = child;
    child = nullptr;
    doomed->parent = nullptr;  // we are the one deleting it
    delete doomed;
  }
}

std::unique_lock<std::mutex> KelDescent::lockForCaller() {
  if (std::this_thread::get_id() == ownerThread) return std::unique_lock<std::mutex>(mutex, std::defer_lock);
  return std::unique_lock<std::mutex>(mutex);
}

void KelDescent::setParent(KelDescent* newParent) {
  auto lock = lockForCaller();
  if (parent) parent->removeChild(this);
  parent = newParent;
  if (newParent) newParent->addChild(this);
}

void KelDescent::addChild(KelDescent* child) {
  if (!child) return;
  auto lock = lockForCaller();
  if (child->ownerThread != ownerThread) {
    descentLog().write("Different threads of parent (%s[%X] tid %lu) and child (%s[%X] tid %lu)",
                       typeName().c_str(), static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(this)),
                       threadNumber(ownerThread), child->typeName().c_str(),
                       static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(child)),
                       threadNumber(child->ownerThread));
  }
  children.push_back(child);
}

bool KelDescent::removeChild(KelDescent* child) {
  auto lock = lockForCaller();
  for (auto it = children.begin(); it != children.end(); ++it) {
    if (*it == child) {
      children.erase(it);
      return true;
    }
  }
  return false;
}

std::string KelDescent::typeName() const {
  const char* name = typeid(*this).name();
  if (*name == '*') ++name;
#ifdef __GNUC__
  int status = 0;
  char* demangled = abi::__cxa_demangle(name, nullptr, nullptr, &status);
  if (demangled) {
    std::string result(demangled);
    std::free(demangled);
    return result;
  }
  return name;
#else
  std::string result(name);
  for (const char* prefix : {"class ", "struct "}) {
    if (result.compare(0, std::strlen(prefix), prefix) == 0) return result.substr(std::strlen(prefix));
  }
  return result;
#endif
}

LineLog& descentLog() {
  static LineLog log("!KelDescent_" + moduleFileName() + ".log");
  return log;
}

unsigned long threadNumber(std::thread::id id) {
  // The id holds the platform's thread number (a pthread_t or a Windows thread id).
  static_assert(sizeof id <= sizeof(unsigned long long), "thread id wider than expected");
  unsigned long long number = 0;
  std::memcpy(&number, &id, sizeof id);
  return static_cast<unsigned long>(number);
}
