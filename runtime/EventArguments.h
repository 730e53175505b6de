#pragma once
// The handler side of a hosted control's events: the arguments of one call, how each handler
// parameter type is read from them, and the slots and properties that handlers are assigned to.

#include "Component.h"

#include "OleInterfaces.h"
#include "Variant.h"

#include <any>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <type_traits>
#include <utility>
#include <vector>

namespace vl
{

// The arguments of one event call, in declaration order (the dispatch arguments are stored
// last-first). A parameter beyond the call's arguments reads as zero, null or empty.
class EventArguments
{
public:
    EventArguments(DISPPARAMS* params, size_t parameterCount);
    size_t count() const { return m_count; }
    // The argument for parameter index (0 is the first after the sender); null when missing.
    VARIANT* at(size_t index) const;

    // Storage for an in/out parameter whose argument is not a reference of the expected type:
    // the handler's changes then stay here.
    int32_t& int32Scratch(size_t index) { return m_ints[index]; }
    VARIANT_BOOL& boolScratch(size_t index) { return m_bools[index]; }
    VARIANT& variantScratch(size_t index) { return *m_variants[index].ptr(); }

private:
    VARIANT* m_args;
    size_t m_count;
    std::vector<int32_t> m_ints;
    std::vector<VARIANT_BOOL> m_bools;
    std::vector<Variant> m_variants;
};

// How each handler parameter type is taken from its argument.
template <class T, class = void> struct EventParameter;

template <> struct EventParameter<int32_t> {
    static int32_t get(EventArguments& args, size_t i);
};
template <> struct EventParameter<VARIANT_BOOL> {
    static VARIANT_BOOL get(EventArguments& args, size_t i);
};
template <> struct EventParameter<float> {
    static float get(EventArguments& args, size_t i);
};
template <> struct EventParameter<double> {
    static double get(EventArguments& args, size_t i);
};
// Read-only string: the caller's string itself, valid during the call only.
template <> struct EventParameter<BSTR> {
    static BSTR get(EventArguments& args, size_t i);
};
// In/out values: a reference to the caller's variable.
template <> struct EventParameter<int32_t&> {
    static int32_t& get(EventArguments& args, size_t i);
};
template <> struct EventParameter<VARIANT_BOOL&> {
    static VARIANT_BOOL& get(EventArguments& args, size_t i);
};
// By-value variant: the handler's own copy.
template <> struct EventParameter<Variant> {
    static Variant get(EventArguments& args, size_t i);
};
// In/out variant: the caller's variant itself.
template <> struct EventParameter<VARIANT&> {
    static VARIANT& get(EventArguments& args, size_t i);
};
// An interface handed in a VT_DISPATCH argument: the pointer itself, not queried, not counted.
template <class I> struct EventParameter<I*, std::enable_if_t<std::is_base_of_v<IDispatch, I>>> {
    static I* get(EventArguments& args, size_t i)
    {
        VARIANT* arg = args.at(i);
        return arg && arg->vt == VT_DISPATCH ? static_cast<I*>(arg->pdispVal) : nullptr;
    }
};

// One event handler slot: a typed handler behind a uniform call.
class EventSlot
{
public:
    bool assigned() const { return static_cast<bool>(m_invoke); }
    void clear()
    {
        m_invoke = nullptr;
        m_handler.reset();
    }
    void invoke(TObject* sender, DISPPARAMS* params) const { m_invoke(sender, params); }

    template <class... Params> void assign(std::function<void(TObject*, Params...)> handler)
    {
        if (!handler) {
            clear();
            return;
        }
        m_handler = handler;
        m_invoke = [handler = std::move(handler)](TObject* sender, DISPPARAMS* params) {
            call(handler, sender, params, std::index_sequence_for<Params...>());
        };
    }
    // The handler as assigned; empty when none is (or when asked for another type).
    template <class Handler> Handler handler() const
    {
        const Handler* h = std::any_cast<Handler>(&m_handler);
        return h ? *h : Handler();
    }

private:
    template <class... Params, size_t... I>
    static void call(const std::function<void(TObject*, Params...)>& handler, TObject* sender, DISPPARAMS* params,
        std::index_sequence<I...>)
    {
        EventArguments args(params, sizeof...(Params));
        handler(sender, EventParameter<Params>::get(args, I)...);
    }

    std::function<void(TObject*, DISPPARAMS*)> m_invoke;
    std::any m_handler;
};

// An assignable event property over one slot of the wrapper: `view->OnPrompt = handler;`.
template <class Handler> class EventProperty
{
public:
    explicit EventProperty(EventSlot& slot)
        : m_slot(slot)
    {
    }
    EventProperty(const EventProperty&) = delete;
    EventProperty& operator=(const EventProperty&) = delete;
    EventProperty& operator=(Handler handler)
    {
        m_slot.assign(std::move(handler));
        return *this;
    }
    EventProperty& operator=(std::nullptr_t)
    {
        m_slot.clear();
        return *this;
    }
    Handler get() const { return m_slot.handler<Handler>(); }
    explicit operator bool() const { return m_slot.assigned(); }

private:
    EventSlot& m_slot;
};

} // namespace vl
