#pragma once
// A value held on the heap with value semantics: the recursive UA types (a Variant holding a
// DataValue holding a Variant, a DiagnosticInfo holding its inner one) use it for the inner
// value. Never empty: a moved-from box holds a default value.
#include <memory>
#include <utility>

namespace velk::ua {

template <class T>
class Boxed {
  public:
    Boxed() : value_(std::make_unique<T>()) {}
    Boxed(T value) : value_(std::make_unique<T>(std::move(value))) {}  // NOLINT: implicit
    Boxed(const Boxed& other) : value_(std::make_unique<T>(*other.value_)) {}
    Boxed(Boxed&& other) : value_(std::make_unique<T>(std::move(*other.value_))) {}
    Boxed& operator=(const Boxed& other) {
        *value_ = *other.value_;
        return *this;
    }
    Boxed& operator=(Boxed&& other) {
        *value_ = std::move(*other.value_);
        return *this;
    }
    ~Boxed() = default;

    T& operator*() { return *value_; }
    const T& operator*() const { return *value_; }
    T* operator->() { return value_.get(); }
    const T* operator->() const { return value_.get(); }
    bool operator==(const Boxed& other) const { return *value_ == *other.value_; }

  private:
    std::unique_ptr<T> value_;
};

}  // namespace velk::ua
