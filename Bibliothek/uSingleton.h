#pragma once
// Base of classes that have one shared instance per class. "Creating" an
// object of such a class hands out that instance and adds a holder; Release()
// drops a holder, and the last one tears the instance down and frees it.
// A class does all its set-up in InitSingleton and all its tear-down in
// DoneSingleton, so a second creation leaves the shared instance unchanged.
//
// The table of live instances and every creation and release are guarded by
// one recursive lock; InitSingleton and DoneSingleton run while it is held.
// StartupSingleton must have run before the first creation.
#include <cstdint>
#include <typeindex>

class TSingleton {
public:
  TSingleton(const TSingleton&) = delete;
  TSingleton& operator=(const TSingleton&) = delete;

  /// The shared instance of T (made and initialised on first use), with one
  /// more holder. A failing InitSingleton leaves no instance behind: its
  /// DoneSingleton runs, the instance is freed and the failure passes on.
  template <class T>
  static T* Create() {
    return static_cast<T*>(Acquire(typeid(T), [] { return static_cast<TSingleton*>(new T()); }));
  }

  /// Drops one holder; the last one runs DoneSingleton and frees the instance.
  void Release();

  /// The number of holders.
  std::int32_t RefCount() const { return FRefCount; }

protected:
  TSingleton() = default;
  virtual ~TSingleton() = default;

  /// Runs once, when the instance has just been made, before a holder gets it.
  virtual void InitSingleton() {}
  /// Runs once, when the last holder has released the instance (or when
  /// InitSingleton failed, so it must cope with a partial set-up).
  virtual void DoneSingleton() {}

private:
  using TMaker = TSingleton* (*)();
  static TSingleton* Acquire(const std::type_index& type, TMaker make);
  void Destroy();

  std::int32_t FRefCount = 0;
};

/// Creates the lock and the empty instance table.
void StartupSingleton();
/// Releases every instance still alive (each DoneSingleton runs once), then
/// destroys the table and the lock.
void ShutdownSingleton();
