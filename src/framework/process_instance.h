#pragma once
// The one instance per process of a framework object: created by the first request, deleted
// (and forgotten) by the module's unload.
template <class T>
class ProcessInstance {
 public:
  static T* get() {
    if (!pointer()) pointer() = new T();
    return pointer();
  }
  static void destroy() {
    delete pointer();
    pointer() = nullptr;
  }

 private:
  static T*& pointer() {
    static T* instance = nullptr;
    return instance;
  }
};
