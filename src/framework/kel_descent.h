#pragma once
// Base class of the framework's long-lived objects. Objects form a tree in which a parent owns
// its children and deletes them with itself. Each object remembers the thread that created it;
// its bookkeeping locks only when another thread touches it.
#include <deque>
#include <mutex>
#include <string>
#include <thread>

class LineLog;

class KelDescent {
 public:
  explicit KelDescent(KelDescent* parent = nullptr);
  virtual ~KelDescent();
  KelDescent(const KelDescent&) = delete;
  KelDescent& operator=(const KelDescent&) = delete;

  void setParent(KelDescent* newParent);
  void addChild(KelDescent* child);
  bool removeChild(KelDescent* child);

  KelDescent* getParent() const { return parent; }
  const std::deque<KelDescent*>& getChildren() const { return children; }
  std::thread::id getOwnerThread() const { return ownerThread; }

  // The demangled name of the object's dynamic type.
  std::string typeName() const;

 private:
  // Locks the object's mutex unless the calling thread created the object.
  std::unique_lock<std::mutex> lockForCaller();

  KelDescent* parent = nullptr;
  std::deque<KelDescent*> children;
  std::thread::id ownerThread;
  std::mutex mutex;
};

// The process's descent log, "!KelDescent_<module file name>.log" in the current directory.
LineLog& descentLog();

// A thread id as the small integer the platform gives it, for log lines.
unsigned long threadNumber(std::thread::id id);
