// The guns' models in the demo tree: the chain gun, a bullet's tracer, a cartridge case and the
// rifle (their textures and the HUD icons are with the cars' shared textures).
#include <filesystem>

#include "tools/demo/DemoTree.h"
#include "tools/writers/WeaponModels.h"

DEMO_STEP("weapons") {
    const std::filesystem::path models = root / "Models";
    std::filesystem::create_directories(models);
    auto model = [&](const char* name, const tools::ZkmModel& m) { return tools::WriteZkm((models / name).string().c_str(), m); };
    return model("Chaingun.ZKM", tools::ChaingunModel("Gunmetal.ZKT")) &&
           model("Bullet_Trail.ZKM", tools::TracerModel("Tracer.ZKT")) &&
           model("Shell.ZKM", tools::ShellModel("Brass.ZKT")) && model("Rifle.ZKM", tools::RifleModel("Gunmetal.ZKT"));
}
