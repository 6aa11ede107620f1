// The one reference count behind the DirectDraw and streaming objects.
#include "platform/ref_counted.h"

#include <gtest/gtest.h>

namespace {

class Counted final : public platform::RefCounted<platform::NoInterface> {
public:
    Counted(bool& deleted, const bool& ownerClosing)
        : deleted_(deleted)
        , ownerClosing_(ownerClosing)
    {
    }
    ~Counted() override { deleted_ = true; }

private:
    bool lastReferenceGone() override { return !ownerClosing_; }
    bool& deleted_;
    const bool& ownerClosing_;
};

}

// Counts as COM does (the maker holds the first reference); the last Release deletes, unless the
// owner is closing, when the object stays for the owner to delete and further Releases do nothing.
TEST(RefCounted, LastReleaseDeletesUnlessTheOwnerKeepsTheObject)
{
    bool deleted = false;
    bool closing = false;
    auto* object = new Counted(deleted, closing);
    EXPECT_EQ(object->AddRef(), 2u);
    EXPECT_EQ(object->Release(), 1u);
    EXPECT_FALSE(deleted);
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_TRUE(deleted);

    deleted = false;
    auto* kept = new Counted(deleted, closing);
    closing = true;
    EXPECT_EQ(kept->Release(), 0u);
    EXPECT_FALSE(deleted);
    EXPECT_EQ(kept->Release(), 0u) << "no count below zero";
    EXPECT_EQ(kept->AddRef(), 1u);
    delete kept;
    EXPECT_TRUE(deleted);
}
