#include "Bibliothek/uSingleton.h"

#include <gtest/gtest.h>

#include "Bibliothek/uFailure.h"

namespace {

int initCount = 0;
int doneCount = 0;
bool failInit = false;

class TCounted : public TSingleton {
public:
  int Payload = 0;

protected:
  void InitSingleton() override {
    ++initCount;
    Payload = 42;
    if (failInit) throw EFailure("init failed");
  }
  void DoneSingleton() override { ++doneCount; }

  friend class TSingleton;
  TCounted() = default;
  ~TCounted() override = default;
};

class TDerived : public TCounted {
  friend class TSingleton;
  TDerived() = default;
};

class SingletonTest : public ::testing::Test {
protected:
  void SetUp() override {
    initCount = doneCount = 0;
    failInit = false;
    StartupSingleton();
  }
  void TearDown() override { ShutdownSingleton(); }
};

TEST_F(SingletonTest, EveryCreationSharesOneInstanceUntilTheLastRelease) {
  TCounted* first = TSingleton::Create<TCounted>();
  EXPECT_EQ(1, first->RefCount());
  first->Payload = 7;
  TCounted* second = TSingleton::Create<TCounted>();
  EXPECT_EQ(first, second);
  EXPECT_EQ(2, second->RefCount());
  EXPECT_EQ(7, second->Payload);  // a second creation leaves the instance unchanged
  EXPECT_EQ(1, initCount);

  second->Release();
  EXPECT_EQ(1, first->RefCount());
  EXPECT_EQ(0, doneCount);
  first->Release();
  EXPECT_EQ(1, doneCount);

  // A creation after the last release makes a fresh instance.
  TCounted* third = TSingleton::Create<TCounted>();
  EXPECT_EQ(2, initCount);
  EXPECT_EQ(42, third->Payload);
  third->Release();
}

TEST_F(SingletonTest, DerivedClassHasItsOwnInstance) {
  TCounted* base = TSingleton::Create<TCounted>();
  TDerived* derived = TSingleton::Create<TDerived>();
  EXPECT_NE(static_cast<TCounted*>(derived), base);
  EXPECT_EQ(1, derived->RefCount());
  derived->Release();
  base->Release();
  EXPECT_EQ(2, doneCount);
}

TEST_F(SingletonTest, FailedInitLeavesNoInstanceBehind) {
  failInit = true;
  EXPECT_THROW(TSingleton::Create<TCounted>(), EFailure);
  EXPECT_EQ(1, doneCount);  // the partial set-up is torn down
  failInit = false;
  TCounted* fresh = TSingleton::Create<TCounted>();
  EXPECT_EQ(2, initCount);
  EXPECT_EQ(1, fresh->RefCount());
  fresh->Release();
}

TEST_F(SingletonTest, ShutdownReleasesWhatIsStillHeldOnce) {
  TSingleton::Create<TCounted>();
  TSingleton::Create<TCounted>();
  TSingleton::Create<TDerived>();
  ShutdownSingleton();
  EXPECT_EQ(2, doneCount);
  StartupSingleton();  // for TearDown
}

TEST(SingletonWithoutStartupTest, CreationFailsCleanly) {
  EXPECT_THROW(TSingleton::Create<TCounted>(), EFailure);
}

}  // namespace
