// The per-user map of virtual serial ports.

#include "PortMap.h"
#include "PrivateRuntimeDir.h"
#include "PtyPair.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

using ZORVI::Communication::Serial::PortMap;

namespace {

mode_t modeOf(const std::string& path)
{
    struct stat st {};
    lstat(path.c_str(), &st);
    return st.st_mode & 07777;
}

class PortMapTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(runtime.isReady());
        ASSERT_TRUE(pty.isOpen());
    }

    std::string mapDirectory() const { return runtime.path() + "/serialcomm"; }

    PrivateRuntimeDir runtime;
    PtyPair pty;
};

TEST_F(PortMapTest, DirectoryIsCreatedPrivateOnlyWhenAsked)
{
    EXPECT_EQ(PortMap::directory(false), "");
    EXPECT_TRUE(PortMap::entries().empty());
    EXPECT_EQ(PortMap::directory(true), mapDirectory());
    EXPECT_EQ(modeOf(mapDirectory()), 0700u);
    EXPECT_EQ(PortMap::directory(false), mapDirectory());
}

TEST_F(PortMapTest, EntriesAppearSortedResolveAndDisappear)
{
    PtyPair other;
    ASSERT_TRUE(PortMap::add("ttySIMb", pty.slavePath()));
    ASSERT_TRUE(PortMap::add("ttySIMa", other.slavePath()));
    EXPECT_EQ(PortMap::entries(), (std::vector<std::string>{"ttySIMa", "ttySIMb"}));
    EXPECT_EQ(PortMap::resolve("ttySIMb"), pty.slavePath());

    ASSERT_TRUE(PortMap::add("ttySIMb", other.slavePath()));
    EXPECT_EQ(PortMap::resolve("ttySIMb"), other.slavePath()) << "add replaces";

    EXPECT_TRUE(PortMap::remove("ttySIMb"));
    EXPECT_EQ(PortMap::entries(), std::vector<std::string>{"ttySIMa"});
    EXPECT_EQ(PortMap::resolve("ttySIMb"), "");
    EXPECT_TRUE(PortMap::remove("ttySIMb")) << "removing a missing entry is no error";
}

TEST_F(PortMapTest, DanglingEntriesAreSkipped)
{
    const std::string gone = runtime.path() + "/gone";
    ASSERT_TRUE(PortMap::add("ttySIMgone", gone));
    ASSERT_TRUE(PortMap::add("ttySIMlive", pty.slavePath()));
    EXPECT_EQ(PortMap::entries(), std::vector<std::string>{"ttySIMlive"});
    EXPECT_EQ(PortMap::resolve("ttySIMgone"), "");
}

TEST_F(PortMapTest, RefusesNamesThatAreNotPlainAndRelativeTargets)
{
    for (const char* name : {"", ".hidden", "..", "a/b", "../ttySIM0"})
        EXPECT_FALSE(PortMap::add(name, pty.slavePath())) << name;
    EXPECT_FALSE(PortMap::add("ttySIM0", "pts/0"));
    EXPECT_TRUE(PortMap::entries().empty());
}

struct Distrust {
    const char* name;
    bool needsRoot;
    std::function<int(const std::string& runtimeDir, const std::string& mapDir)> apply;
};

std::ostream& operator<<(std::ostream& out, const Distrust& d)
{
    return out << d.name;
}

class UntrustedMap : public PortMapTest, public ::testing::WithParamInterface<Distrust> {};

TEST_P(UntrustedMap, ReadsEmptyAndTakesNoEntries)
{
    if (GetParam().needsRoot && geteuid() != 0)
        GTEST_SKIP() << "giving a directory to another user needs root";
    ASSERT_TRUE(PortMap::add("ttySIM0", pty.slavePath()));
    ASSERT_EQ(GetParam().apply(runtime.path(), mapDirectory()), 0);

    EXPECT_EQ(PortMap::directory(false), "");
    EXPECT_EQ(PortMap::directory(true), "");
    EXPECT_TRUE(PortMap::entries().empty());
    EXPECT_EQ(PortMap::resolve("ttySIM0"), "");
    EXPECT_FALSE(PortMap::add("ttySIM1", pty.slavePath()));
    EXPECT_FALSE(PortMap::remove("ttySIM0"));
}

const Distrust DISTRUSTS[] = {
    {"MapWritableByOthers", false,
     [](const std::string&, const std::string& map) { return chmod(map.c_str(), 0777); }},
    {"MapWritableByGroup", false,
     [](const std::string&, const std::string& map) { return chmod(map.c_str(), 0770); }},
    {"RuntimeDirWritableByOthers", false,
     [](const std::string& runtime, const std::string&) { return chmod(runtime.c_str(), 0777); }},
    {"MapOwnedByAnotherUser", true,
     [](const std::string&, const std::string& map) { return chown(map.c_str(), 65534, 65534); }},
    {"RuntimeDirOwnedByAnotherUser", true,
     [](const std::string& runtime, const std::string&) {
         return chown(runtime.c_str(), 65534, 65534);
     }},
    {"MapIsASymlink", false,
     [](const std::string& runtime, const std::string& map) {
         const std::string elsewhere = runtime + "/elsewhere";
         return rename(map.c_str(), elsewhere.c_str()) | symlink(elsewhere.c_str(), map.c_str());
     }},
};

INSTANTIATE_TEST_SUITE_P(Dir, UntrustedMap, ::testing::ValuesIn(DISTRUSTS),
                         [](const auto& info) { return std::string(info.param.name); });

// Without XDG_RUNTIME_DIR (or with an invalid, relative one) every program of
// the user meets in one fixed private directory.
TEST_F(PortMapTest, FallsBackToOnePrivateDirectoryPerUser)
{
    const std::string fallback = "/tmp/zorvik-serialcomm-" + std::to_string(geteuid());
    const std::string name = PrivateRuntimeDir::uniquePortName("ttyFALLBACK");
    for (bool unset : {true, false}) {
        if (unset)
            unsetenv("XDG_RUNTIME_DIR");
        else
            setenv("XDG_RUNTIME_DIR", "relative/dir", 1);
        ASSERT_EQ(PortMap::directory(true), fallback);
        EXPECT_EQ(modeOf(fallback) & 077, 0u);
        ASSERT_TRUE(PortMap::add(name, pty.slavePath()));
        EXPECT_EQ(PortMap::resolve(name), pty.slavePath());
        EXPECT_TRUE(PortMap::remove(name));
        EXPECT_EQ(PortMap::resolve(name), "");
    }
}

} // namespace
