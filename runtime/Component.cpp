#include "Component.h"

#include <algorithm>

TComponent::TComponent(TComponent* owner)
{
    if (owner)
        owner->InsertComponent(this);
}

TComponent::~TComponent()
{
    DestroyComponents();
    if (m_owner)
        m_owner->RemoveComponent(this);
}

void TComponent::DestroyComponents()
{
    while (!m_components.empty()) {
        TComponent* last = m_components.back();
        // The child's destructor removes it from this list.
        delete last;
    }
}

void TComponent::InsertComponent(TComponent* component)
{
    component->m_owner = this;
    m_components.push_back(component);
}

void TComponent::RemoveComponent(TComponent* component)
{
    auto it = std::find(m_components.begin(), m_components.end(), component);
    if (it != m_components.end())
        m_components.erase(it);
    component->m_owner = nullptr;
}
