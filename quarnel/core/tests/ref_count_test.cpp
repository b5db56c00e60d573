// Reference counts and the smart pointer: when objects die, and that they
// die once.
#include <gtest/gtest.h>

#include <atomic>
#include <ostream>
#include <thread>
#include <vector>

#include "quarnel/zel_ptr.h"
#include "support.h"

using ObraCommon::ZelObjectBase;
using ObraCommon::ZelPtr;
using ObraCommon::ZelRCObject;
using quarnel_test::Counted;

namespace {

struct ReleaseCase {
  int references;
  int result;
  friend void PrintTo(const ReleaseCase& c, std::ostream* out) { *out << c.references << " references"; }
};

class ReleaseAt : public ::testing::TestWithParam<ReleaseCase> {};

TEST_P(ReleaseAt, DestroysOnceAndAnswersTheNewCount) {
  std::atomic<int> destroyed{0};
  auto* object = new Counted(&destroyed);
  for (int i = 0; i < GetParam().references; ++i) object->addRef();
  EXPECT_EQ(object->release(), GetParam().result);
  EXPECT_EQ(destroyed.load(), 1);
}

// An object never referenced dies on its first release.
INSTANTIATE_TEST_SUITE_P(Counts, ReleaseAt, ::testing::Values(ReleaseCase{1, 0}, ReleaseCase{0, -1}));

TEST(Counts, RemoveRefNeverDestroys) {
  std::atomic<int> destroyed{0};
  auto* object = new Counted(&destroyed);
  object->addRef();
  EXPECT_EQ(object->removeRef(), 0);
  EXPECT_EQ(object->removeRef(), -1);
  EXPECT_EQ(object->decrementRefCount(), -2);
  EXPECT_EQ(destroyed.load(), 0);
  EXPECT_EQ(object->release(), -3);
  EXPECT_EQ(destroyed.load(), 1);
}

TEST(Counts, NullPointerDoesNothing) {
  ZelPtr<Counted> empty(nullptr);
  ZelPtr<Counted> copy(empty);
  copy.reset();
  empty = copy;
  EXPECT_FALSE(empty);
  EXPECT_EQ(empty.get(), nullptr);
  EXPECT_TRUE(empty == nullptr);
}

TEST(Counts, PointerCopiesResetAndAssignment) {
  std::atomic<int> destroyed{0};
  {
    ZelPtr<Counted> first(new Counted(&destroyed));
    EXPECT_EQ(first->getRefCount(), 1);
    ZelPtr<Counted> second(first);
    EXPECT_EQ(first->getRefCount(), 2);
    EXPECT_TRUE(first == second);
    ZelPtr<Counted>& alias = second;
    second = alias;  // self-assignment keeps the object
    EXPECT_EQ(first->getRefCount(), 2);
    first = first.get();
    EXPECT_EQ(first->getRefCount(), 2);
    second.reset();
    EXPECT_FALSE(second);
    EXPECT_EQ(first->getRefCount(), 1);
    ZelPtr<ZelRCObject> base(first);  // from a pointer to a derived class
    EXPECT_TRUE(base == first);
    EXPECT_EQ(base->getRefCount(), 2);
    first = new Counted(&destroyed);  // assignment releases the old object
    EXPECT_TRUE(base != first);
    EXPECT_EQ(destroyed.load(), 0);
    base.reset();
    EXPECT_EQ(destroyed.load(), 1);
  }
  EXPECT_EQ(destroyed.load(), 2);
}

TEST(Counts, TypeTestsAnswerOwnAndBaseIds) {
  std::atomic<int> destroyed{0};
  ZelPtr<Counted> object(new Counted(&destroyed));
  EXPECT_TRUE(object->isA(0x12345678u));
  EXPECT_TRUE(object->isA(ZelRCObject::getStaticTypeID()));
  EXPECT_TRUE(object->isA(ZelObjectBase::getStaticTypeID()));
  EXPECT_FALSE(object->isA(0x31FB5B85u));
  EXPECT_EQ(ZelRCObject::getStaticTypeID(), 0x90AF0240u);
  EXPECT_EQ(ZelObjectBase::getStaticTypeID(), 0xA4EBD8C4u);
}

TEST(RefCountThreads, CopiesOnManyThreadsDestroyOnceAfterTheLastDrop) {
  constexpr int kThreads = 8;
  constexpr int kRounds = 100000;
  std::atomic<int> destroyed{0};
  ZelPtr<Counted> shared(new Counted(&destroyed));
  std::atomic<bool> go{false};
  std::atomic<int> diedEarly{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, mine = shared]() mutable {
      while (!go.load()) std::this_thread::yield();
      for (int i = 0; i < kRounds; ++i) {
        ZelPtr<Counted> copy(mine);
        copy.reset();
      }
      // This thread still holds the object.
      if (destroyed.load() != 0) diedEarly.fetch_add(1);
      mine.reset();
    });
  }
  go = true;
  shared.reset();  // the threads' copies keep the object alive
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(diedEarly.load(), 0);
  EXPECT_EQ(destroyed.load(), 1);
}

}  // namespace
