#include "Component.h"
#include "Exceptions.h"

#include <gtest/gtest.h>

namespace {
struct Probe : TComponent {
    Probe(TComponent* owner, int* destroyed) : TComponent(owner), m_destroyed(destroyed) {}
    ~Probe() override { ++*m_destroyed; }
    int* m_destroyed;
};
} // namespace

TEST(Component, OwnerDestroysItsComponents)
{
    int destroyed = 0;
    auto* owner = new TComponent(nullptr);
    auto* child = new Probe(owner, &destroyed);
    new Probe(child, &destroyed); // grandchild, destroyed through the child
    EXPECT_EQ(owner->ComponentCount(), 1);
    EXPECT_EQ(child->Owner(), owner);
    delete owner;
    EXPECT_EQ(destroyed, 2);
}

TEST(Component, ComponentDestroyedFirstIsForgottenByItsOwner)
{
    int destroyed = 0;
    TComponent owner(nullptr);
    auto* first = new Probe(&owner, &destroyed);
    new Probe(&owner, &destroyed);
    delete first;
    EXPECT_EQ(owner.ComponentCount(), 1);
    EXPECT_EQ(destroyed, 1);
    owner.DestroyComponents();
    EXPECT_EQ(owner.ComponentCount(), 0);
    EXPECT_EQ(destroyed, 2);
}

TEST(Exceptions, HierarchyAndPrefixRule)
{
    try {
        vl::databaseError("Field 'DeptNo' not found", "ADODataSet2");
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "ADODataSet2: Field 'DeptNo' not found");
    }
    try {
        vl::databaseError("Field 'X' has no dataset");
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Field 'X' has no dataset");
    }
    EOleException ole("Broken", static_cast<int32_t>(0x80004005), "Viewer", "help.chm", 7);
    const EOleSysError& sys = ole;
    EXPECT_EQ(sys.ErrorCode(), static_cast<int32_t>(0x80004005));
    EXPECT_EQ(ole.Source(), "Viewer");
    EXPECT_EQ(EIntfCastError().Message(), "Interface not supported");
    EXPECT_NE(dynamic_cast<const EOleError*>(&sys), nullptr);
}
