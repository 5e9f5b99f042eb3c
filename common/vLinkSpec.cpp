#include <quillmark/vLinkSpec.h>

#include <new>

linkSpec *vLinkSpec_Create(linkType type) {
    auto *spec = new (std::nothrow) linkSpec{};
    if (spec != nullptr)
        spec->type = type;
    return spec;
}

linkSpec *vLinkSpec_Copy(linkSpec spec) {
    return new (std::nothrow) linkSpec(spec);
}

vErr vLinkSpec_Destroy(linkSpec **spec) {
    if (spec == nullptr || *spec == nullptr)
        return vErrParam;
    delete *spec;
    *spec = nullptr;
    return vErrNone;
}
