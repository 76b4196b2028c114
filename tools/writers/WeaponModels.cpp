#include "tools/writers/WeaponModels.h"

#include <cmath>
#include <initializer_list>

#include "tools/writers/MeshShapes.h"

namespace tools {

namespace {

struct Box {
    Vector3 centre, half;
};

ZkmModel Boxes(const std::string& texture, const char* name, std::initializer_list<Box> boxes) {
    ZkmModel m;
    AddTexturedMaterial(m, texture);
    for (const Box& b : boxes) AddBox(m, b.centre, b.half);
    SingleNode(m, name);
    return m;
}

}  // namespace

ZkmModel ChaingunModel(const std::string& texture) {
    ZkmModel m = Boxes(texture, "Chaingun", {{{0, 0, 1.5f}, {1.4f, 1.4f, 1.5f}}});
    // Six barrels round the z axis, 8 long, ending at z = -8 (where the flash sits).
    for (int i = 0; i < 6; ++i) {
        const float a = float(i) * 3.14159265f / 3.0f;
        AddBox(m, {std::cos(a) * 0.8f, std::sin(a) * 0.8f, -4.0f}, {0.25f, 0.25f, 4.0f});
    }
    SingleNode(m, "Chaingun");
    return m;
}

ZkmModel TracerModel(const std::string& texture) { return Boxes(texture, "Tracer", {{{0, 0, -15.0f}, {0.15f, 0.15f, 15.0f}}}); }

ZkmModel ShellModel(const std::string& texture) { return Boxes(texture, "Shell", {{{0, 0, 0}, {0.2f, 0.2f, 0.6f}}}); }

ZkmModel RifleModel(const std::string& texture) {
    return Boxes(texture, "Rifle", {{{0, 0, 0}, {0.3f, 0.6f, 2.5f}},        // stock and body
                                    {{0, 0.2f, -4.5f}, {0.12f, 0.12f, 2.0f}},  // barrel
                                    {{0, -1.0f, 0.5f}, {0.25f, 0.6f, 0.3f}}}); // grip
}

}  // namespace tools
