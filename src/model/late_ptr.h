// An owning pointer whose deleter is supplied by whoever creates the object. The project model
// owns objects of the higher layers (a movie source, the AVI writer) without knowing their
// types; the layer that creates one passes the function that destroys it.
#pragma once

#include <memory>

namespace tavrona {

template <class T>
struct LateDeleter {
  void (*destroy)(T*) = nullptr;
  void operator()(T* p) const {
    if (destroy != nullptr) destroy(p);
  }
};

template <class T>
using LatePtr = std::unique_ptr<T, LateDeleter<T>>;

template <class T>
LatePtr<T> MakeLatePtr(T* object, void (*destroy)(T*)) {
  return LatePtr<T>(object, LateDeleter<T>{destroy});
}

}  // namespace tavrona
