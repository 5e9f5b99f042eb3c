#include <quillmark/vDefs.h>

namespace {

struct ModelName {
    uint32_t model;
    const char *name;
};

constexpr ModelName kModelNames[] = {
    {4, "Alder"},   {5, "Birch"},   {13, "Cedar"},    {14, "Dogwood"}, {15, "Elm"},   {16, "Fir"},
    {17, "Ginkgo"}, {18, "Hazel"},  {19, "Ironwood"}, {20, "Juniper"}, {21, "Kapok"}, {22, "Larch"},
    {23, "Maple"},  {24, "Nutmeg"}, {25, "Oak"},      {26, "Poplar"},
};

} // namespace

const char *vDefs_GetModelName(uint32_t model) {
    for (const ModelName &entry : kModelNames) {
        if (entry.model == model) {
            return entry.name;
        }
    }
    return "Unknown";
}
