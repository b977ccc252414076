// Small helpers that make the hooks' calling rules hold by construction.
#pragma once

#include <string_view>

#include "diagnostics/Hooks.h"

namespace pelorin {

// A member that reports its object's creation and destruction under the class's name.
// Declare it first, so it is created before and destroyed after the other members.
class ObjectTrace {
  public:
    explicit ObjectTrace(std::string_view className) : className_(className) {
        ObjectCreated(className_);
    }
    ObjectTrace(const ObjectTrace& other) : className_(other.className_) {
        ObjectCreated(className_);
    }
    ObjectTrace& operator=(const ObjectTrace&) { return *this; }
    ~ObjectTrace() { ObjectDestroyed(className_); }

  private:
    std::string_view className_;  // a literal: lives as long as the program
};

// ProzessStart now, ProzessEnd with the same name when the scope is left by any path.
class ProzessScope {
  public:
    explicit ProzessScope(std::string_view procedureName) : name_(procedureName) {
        ProzessStart(name_);
    }
    ~ProzessScope() { ProzessEnd(name_); }
    ProzessScope(const ProzessScope&) = delete;
    ProzessScope& operator=(const ProzessScope&) = delete;

  private:
    std::string_view name_;
};

}  // namespace pelorin
