#include "Bibliothek/uSingleton.h"

#include <map>
#include <memory>
#include <mutex>

#include "Bibliothek/uFailure.h"

namespace {
// Keyed by the class itself: a derived class has its own entry and instance.
using TSingletonTable = std::map<std::type_index, TSingleton*>;

std::unique_ptr<std::recursive_mutex> singletonLock;
std::unique_ptr<TSingletonTable> singletonTable;

void RequireStarted() {
  // A creation before start-up is a fault of the program's start-up order.
  if (!singletonLock) throw EFailure("uSingleton: StartupSingleton has not run");
}
}  // namespace

TSingleton* TSingleton::Acquire(const std::type_index& type, TMaker make) {
  RequireStarted();
  std::lock_guard<std::recursive_mutex> guard(*singletonLock);
  TSingleton* instance = nullptr;
  const auto found = singletonTable->find(type);
  if (found != singletonTable->end()) {
    instance = found->second;
  } else {
    instance = make();
    singletonTable->emplace(type, instance);
    try {
      instance->InitSingleton();
    } catch (...) {
      // No broken instance may stay in the table for the next creation.
      singletonTable->erase(type);
      instance->Destroy();
      throw;
    }
  }
  ++instance->FRefCount;
  return instance;
}

void TSingleton::Destroy() {
  struct TFree {
    TSingleton* Instance;
    ~TFree() { delete Instance; }
  } freeAtEnd{this};
  DoneSingleton();
}

void TSingleton::Release() {
  RequireStarted();
  std::lock_guard<std::recursive_mutex> guard(*singletonLock);
  if (--FRefCount != 0) return;
  // The tear-down runs while the instance is still in the table; the entry
  // goes and the memory is given back however it ends.
  struct TRemove {
    TSingleton* Instance;
    ~TRemove() {
      for (auto it = singletonTable->begin(); it != singletonTable->end(); ++it)
        if (it->second == Instance) {
          singletonTable->erase(it);
          break;
        }
      delete Instance;
    }
  } removeAtEnd{this};
  DoneSingleton();
}

void StartupSingleton() {
  if (singletonLock) return;
  singletonLock = std::make_unique<std::recursive_mutex>();
  singletonTable = std::make_unique<TSingletonTable>();
}

void ShutdownSingleton() {
  if (!singletonLock) return;
  {
    std::lock_guard<std::recursive_mutex> guard(*singletonLock);
    while (!singletonTable->empty()) {
      TSingleton* instance = singletonTable->begin()->second;
      // Release until it leaves the table, so its DoneSingleton runs once.
      while (!singletonTable->empty() && singletonTable->begin()->second == instance)
        instance->Release();
    }
  }
  singletonTable.reset();
  singletonLock.reset();
}
