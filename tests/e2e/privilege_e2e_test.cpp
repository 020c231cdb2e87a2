// SPDX-License-Identifier: MIT
// Capture across a real privilege boundary: an unprivileged member of group corvel runs corvel,
// which has no capability, and captures through the build's corvel-capture, copied to a scratch
// directory as the package installs it (root:corvel 0750, cap_net_raw,cap_net_admin,cap_setpcap
// +ep).
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "tests/e2e/netns_run.h"

namespace corvel::e2e {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

constexpr uid_t kMemberUid = 65534;

class MemberCapture : public NamespacedTest {
protected:
    void SetUp() override {
        NamespacedTest::SetUp();
        if (IsSkipped()) return;
        const group* corvel = ::getgrnam("corvel");
        if (corvel == nullptr) GTEST_SKIP() << "no group corvel (scripts/setup makes it)";
        gid = corvel->gr_gid;
        bin = dir / "bin";
        fs::create_directories(bin);
        fs::copy_file(binaryPath("app/corvel"), bin / "corvel");
        helper = (bin / "corvel-capture").string();
        fs::copy_file(binaryPath("app/corvel-capture"), helper);
        ASSERT_EQ(::chown(helper.c_str(), 0, gid), 0);
        ASSERT_EQ(::chmod(helper.c_str(), 0750), 0);
        ASSERT_EQ(std::system(("setcap cap_net_raw,cap_net_admin,cap_setpcap+ep '" + helper + "'")
                                  .c_str()),
                  0);
        ASSERT_EQ(::chown(dataDir.c_str(), kMemberUid, kMemberUid), 0);
    }

    // The command as uid 65534 with the group corvel, no capabilities of its own.
    std::vector<std::string> asMember(std::vector<std::string> command, bool member = true) {
        std::vector<std::string> line = {"setpriv", "--reuid=65534", "--regid=65534",
                                         member ? "--groups=" + std::to_string(gid)
                                                : std::string("--clear-groups"),
                                         "--inh-caps=-all"};
        line.insert(line.end(), command.begin(), command.end());
        return line;
    }
    std::vector<std::string> corvel(std::vector<std::string> arguments, bool member = true) {
        arguments.insert(arguments.begin(), (bin / "corvel").string());
        arguments.insert(arguments.end(), {"--data-dir", dataDir.string()});
        return asMember(arguments, member);
    }

    gid_t gid = 0;
    fs::path bin;
    std::string helper;
    const std::string av = sourcePath("sim/scenarios/av.json");
};

TEST_F(MemberCapture, AMemberScansAndSetsTheNetworkNameThroughTheHelper) {
    const CommandResult scan = runInNamespaces(av, capture, corvel({"scan", "--json"}));
    ASSERT_EQ(scan.status, 0) << scan.err;
    const Json found = Json::parse(scan.out);
    EXPECT_EQ(found["interfaces"][0]["local"]["mac"], "00:B0:52:00:00:10") << scan.out;
    EXPECT_EQ(found["interfaces"][0]["stations"].size(), 2u) << scan.out;

    // The key set and read back on one simulated network.
    const std::string program = (bin / "corvel").string();
    const std::string data = dataDir.string();
    const CommandResult set = runInNamespaces(
        av, capture,
        asMember({"sh", "-c",
                  "\"$0\" set-network KitchenNet --local-only --yes --data-dir \"$1\" && "
                  "\"$0\" scan --json --data-dir \"$1\"",
                  program, data}));
    ASSERT_EQ(set.status, 0) << set.err;
    // The set-key request went on the wire, sent by the helper for the member.
    EXPECT_FALSE(dissect(capture, {"homeplug_av.set_key_req.nmk"}, "homeplug_av.set_key_req")
                     .empty());
    const std::string json = set.out.substr(set.out.rfind("\n{") + 1);
    const Json local = Json::parse(json)["interfaces"][0]["local"];
    EXPECT_EQ(local["networkName"], "KitchenNet") << set.out;
    EXPECT_EQ(local["networkType"], "Private") << set.out;
}

// A plain HomePlug 1.0 local device is asked in its own name once it answered (it then answers
// itself): the helper lets such queries go in that device's name, over every full scan (each
// reopens the captures), and the device stays found with its stations; without them it would be
// given up after three full scans.
TEST_F(MemberCapture, APlainHomePlug10LocalDeviceStaysFoundThroughTheHelper) {
    const CommandResult scan = runInNamespaces(sourcePath("sim/scenarios/hp10.json"), capture,
                                               corvel({"scan", "--cycles", "6", "--json"}));
    ASSERT_EQ(scan.status, 0) << scan.err;
    const Json found = Json::parse(scan.out);
    EXPECT_EQ(found["interfaces"][0]["local"]["mac"], "00:0B:3B:00:02:10") << scan.out;
    EXPECT_EQ(found["interfaces"][0]["stations"].size(), 2u) << scan.out;
    // The host's queries to every device in the local device's name went on the wire.
    EXPECT_FALSE(dissect(capture, {"eth.src"},
                         "homeplug && eth.src == 00:0b:3b:00:02:10 && "
                         "eth.dst == ff:ff:ff:ff:ff:ff")
                     .empty());
}

TEST_F(MemberCapture, SomeoneOutsideTheGroupMayNotStartTheHelper) {
    const CommandResult run = runInNamespaces(av, "", corvel({"scan"}, false));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("corvel: capture was not permitted", 0), 0u) << run.err;
    EXPECT_NE(run.err.find("cannot start the capture helper " + helper + ": Permission denied"),
              std::string::npos)
        << run.err;
}

// The caller talks to the helper over its socket pair directly: frames of other Ethertypes or
// lengths, or in another name than the interface's, are refused, and of the frames of other
// Ethertypes that the simulator's side puts on the wire all the while, none is relayed; the
// powerline ones among them are. The helper captures without promiscuous mode and keeps its two
// capabilities only, with an empty bounding set.
TEST_F(MemberCapture, TheHelperCarriesPowerlineFramesOnlyAndKeepsNoOtherCapability) {
    const std::string probe = binaryPath("tests/e2e/capture_probe");
    const CommandResult run = runInNamespaces(
        av, "", asMember({probe, "listen", helper, "host0", "1500"}), probe + " noise plc0");
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("refused 7 of 7 frames"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("powerline frame sent"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(" and 0 others"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("host0 promiscuous: no"), std::string::npos) << run.out;
    // cap_net_admin and cap_net_raw, nothing more, and nothing in the bounding set; the caller
    // none.
    EXPECT_NE(run.out.find("helper CapEff: 0000000000003000"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("helper CapBnd: 0000000000000000"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("caller CapEff: 0000000000000000"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace corvel::e2e
