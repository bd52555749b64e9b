// The image and the fleet manifests agree with the server: the port it listens on, and a health
// period that its beats fill.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <regex>

#include "fleet/FleetSdk.h"
#include "runtime/ZTINIReader.h"

namespace {

using Lines = std::vector<std::string>;
const std::string kPackaging = std::string(RV_SOURCE_DIR) + "/packaging/";

// Every "key: value" of the plain block YAML the manifests are written in (two spaces a level,
// "- " list items, comments, no tabs); a line of any other shape is kept under "?".
std::map<std::string, Lines> manifest(const std::string& name) {
    static const std::regex shape(R"(((  )*)(- )?([A-Za-z][A-Za-z0-9]*):( (.*))?| *(#.*)?)");
    std::map<std::string, Lines> values;
    std::ifstream in(kPackaging + "agones/" + name);
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (!std::regex_match(line, m, shape))
            values["?"].push_back(line);
        else if (m[6].matched)
            values[m[4]].push_back(m[6]);
    }
    return values;
}

TEST(FleetManifests, ParseAndNameTheServersPortAndAHealthPeriodItsBeatsFill) {
    ZTINIReader ini;
    ini.load(std::string(RV_SOURCE_DIR) + "/demo/cfg/rvservercfg.ini");
    const std::string port = std::to_string(ini.getInt("CONFIGURATION", "PORT"));
    for (const char* name : {"gameserver.yaml", "fleet.yaml"}) {
        auto m = manifest(name);
        EXPECT_EQ(m["?"], Lines{}) << name;
        EXPECT_EQ(m["containerPort"], Lines{port}) << name;
        EXPECT_EQ(m["protocol"], Lines{"UDP"}) << name;
        EXPECT_EQ(m["mountPath"].at(0), "/srv/ralvo/cfg") << name;
        EXPECT_GE(std::stoi(m["periodSeconds"].at(0)) * 1000, 2 * FleetSdk::kHealthIntervalMs);
        EXPECT_GE(std::stoi(m["failureThreshold"].at(0)), 2) << name;
    }
    auto autoscaler = manifest("fleetautoscaler.yaml");
    EXPECT_EQ(autoscaler["?"], Lines{});
    EXPECT_EQ(autoscaler["fleetName"], Lines{manifest("fleet.yaml")["name"].at(0)});

    std::ifstream in(kPackaging + "Dockerfile");
    const std::string docker((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(docker.find("EXPOSE " + port + "/udp"), std::string::npos);
    EXPECT_NE(docker.find(R"(["rvquery", "--echo", "--timeout", "2000", "127.0.0.1:)" + port),
              std::string::npos);
}

}  // namespace
