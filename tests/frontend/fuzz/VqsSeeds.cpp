// Writes the fuzz corpus seeds through the settings writer.
#include <string>

#include "tests/fuzz/FuzzSupport.h"
#include "tools/writers/SettingsWriter.h"

int main(int argc, char** argv) {
    const fuzz_support::SeedDir seeds(argc, argv);
    auto Write = [&](const std::string& name, const SettingsRecord& record) { seeds.Write(name, SettingsBytes(record)); };

    Write("defaults", tools::ExampleSettingsRecord(4));
    Write("no_tables", tools::ExampleSettingsRecord(0));
    Write("three_tables", tools::ExampleSettingsRecord(3));
    Write("five_tables", tools::ExampleSettingsRecord(5));

    SettingsRecord odd = tools::ExampleSettingsRecord(4);
    odd.displayMode = "1024*768@16";
    odd.textureLevel = 7;
    odd.viewDistance = -3.0f;
    odd.bindings[1][0][0] = 0x10E;
    odd.bindings[2][3][1] = 0x806;
    odd.furthestEpisode = 5;
    odd.playerName = "";
    odd.scoreTables[2][1].name = "abc";
    odd.carChoice = 9;
    odd.missionChoice = -1;
    Write("out_of_range", odd);
    return 0;
}
