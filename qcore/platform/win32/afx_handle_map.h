#pragma once
// Internal: the framework's handle maps. Permanent entries are wrapper objects attached to a handle;
// temporary ones are made on demand by FromHandle and deleted at idle time.
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <typeindex>
#include <unordered_map>
#include <utility>

namespace qcore::detail {

template <class Base> class HandleMap {
public:
    void attach(void* handle, Base* object) {
        std::lock_guard lock(mutex_);
        permanent_[handle] = object;
    }
    void detach(void* handle, const Base* object) {
        std::lock_guard lock(mutex_);
        auto it = permanent_.find(handle);
        if (it != permanent_.end() && it->second == object) permanent_.erase(it);
    }
    Base* permanent(void* handle) {
        std::lock_guard lock(mutex_);
        auto it = permanent_.find(handle);
        return it == permanent_.end() ? nullptr : it->second;
    }
    // The attached object when it is a T, else a temporary T wrapping the handle.
    template <class T> T* from_handle(void* handle, const std::function<void(T&, void*)>& wrap) {
        if (!handle) return nullptr;
        std::lock_guard lock(mutex_);
        auto it = permanent_.find(handle);
        if (it != permanent_.end())
            if (T* t = dynamic_cast<T*>(it->second)) return t;
        auto& slot = temporary_[{handle, std::type_index(typeid(T))}];
        if (!slot) {
            auto object = std::make_unique<T>();
            wrap(*object, handle);
            slot = std::move(object);
        }
        return static_cast<T*>(slot.get());
    }
    // Temporary wrappers never own their handles: `unwrap` takes the handle back before deletion.
    void delete_temporaries(const std::function<void(Base&)>& unwrap) {
        std::map<std::pair<void*, std::type_index>, std::unique_ptr<Base>> doomed;
        {
            std::lock_guard lock(mutex_);
            doomed.swap(temporary_);
        }
        for (auto& [key, object] : doomed)
            unwrap(*object);
    }

private:
    std::mutex mutex_;
    std::unordered_map<void*, Base*> permanent_;
    std::map<std::pair<void*, std::type_index>, std::unique_ptr<Base>> temporary_;
};

} // namespace qcore::detail
