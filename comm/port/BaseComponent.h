#pragma once
// The base of the library's components: an owner, a name, a tag, the version text, and the
// two framework states a component asks about: being designed and being loaded from a
// stored form. Both states are plain flags; a form loader (or a test) sets them.
//
// The owner is a plain reference for the component's own use. Lifetime is C++'s: whoever
// creates a component holds it (a window keeps it as a member or a unique_ptr).

#include "comm/errors/CheckErrorCode.h"

#include <cstdint>
#include <string>

namespace apd {

class TApdBaseComponent : public ILoadingAware {
public:
    explicit TApdBaseComponent(TApdBaseComponent* owner = nullptr) : owner_(owner) {}
    TApdBaseComponent(const TApdBaseComponent&) = delete;
    TApdBaseComponent& operator=(const TApdBaseComponent&) = delete;
    ~TApdBaseComponent() override = default;

    TApdBaseComponent* Owner() const { return owner_; }

    const std::string& Name() const { return name_; }
    void SetName(const std::string& name) { name_ = name; }

    std::intptr_t Tag() const { return tag_; }
    void SetTag(std::intptr_t tag) { tag_ = tag; }

    // Always "v3.02"; writing it changes nothing.
    std::string Version() const { return "v3.02"; }
    void SetVersion(const std::string& /*ignored*/) {}

    bool IsDesigning() const { return designing_; }
    void SetDesigning(bool designing) { designing_ = designing; }

    // True between BeginLoading and Loaded.
    bool IsLoading() const override { return loading_; }
    // A form loader calls this before it writes the stored properties, then Loaded.
    void BeginLoading() { loading_ = true; }
    // Called once the stored properties have been written; ends the loading state.
    virtual void Loaded() { loading_ = false; }

private:
    TApdBaseComponent* owner_;
    std::string name_;
    std::intptr_t tag_ = 0;
    bool designing_ = false;
    bool loading_ = false;
};

} // namespace apd
