#pragma once
// Owner-managed components: a component created with an owner is destroyed by that owner,
// and a component destroyed first takes itself out of its owner's list.

#include <string>
#include <string_view>
#include <vector>

class TObject {
public:
    TObject() = default;
    TObject(const TObject&) = delete;
    TObject& operator=(const TObject&) = delete;
    virtual ~TObject() = default;
};

class TComponent : public TObject {
public:
    // Owner may be null; a component without owner is destroyed by whoever created it.
    explicit TComponent(TComponent* owner);
    ~TComponent() override;

    TComponent* Owner() const { return m_owner; }
    const std::string& Name() const { return m_name; }
    void SetName(std::string_view name) { m_name = name; }

    int ComponentCount() const { return static_cast<int>(m_components.size()); }
    TComponent* Components(int index) const { return m_components.at(static_cast<size_t>(index)); }

    // Destroys every owned component, last created first.
    void DestroyComponents();

protected:
    void InsertComponent(TComponent* component);
    void RemoveComponent(TComponent* component);

private:
    TComponent* m_owner = nullptr;
    std::string m_name;
    std::vector<TComponent*> m_components;
};
