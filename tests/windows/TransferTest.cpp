// A whole firmware update over the Win32 port under wine: the mode request,
// the pause, every record acknowledged, and the device restarting with the
// new firmware. run.sh starts the simulator for it with --save-image (named
// here by ZORVIK_TEST_IMAGE as a Windows path) and the versions 3.1.8 / 1.3
// after the transfer.

#include "SimulatedDevice.h"

#include "Control.h"
#include "DeviceInfo.h"
#include "UpdateImage.h"

#include <windows.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using ZORVI::Control;
using ZORVI::DeviceInfo;
using namespace UpdateImage;

namespace {

std::vector<int> g_progress;

void recordProgress(int percent, void*)
{
    g_progress.push_back(percent);
}

class Transfer : public SimulatedDevice {
protected:
    Transfer() : SimulatedDevice("update") {}

    void SetUp() override
    {
        SimulatedDevice::SetUp();
        if (IsSkipped())
            return;
        m_imagePath = environment("ZORVIK_TEST_IMAGE");
        ASSERT_FALSE(m_imagePath.empty()) << "ZORVIK_TEST_IMAGE names no image file";
        char directory[MAX_PATH];
        char path[MAX_PATH];
        ASSERT_NE(GetTempPathA(sizeof directory, directory), 0u);
        ASSERT_NE(GetTempFileNameA(directory, "upd", 0, path), 0u);
        m_updatePath = path;
        g_progress.clear();
    }

    void TearDown() override
    {
        if (!m_updatePath.empty())
            DeleteFileA(m_updatePath.c_str());
    }

    void writeUpdateFile(const Bytes& image)
    {
        std::ofstream file(m_updatePath, std::ios::binary);
        file << text(image);
        ASSERT_TRUE(file.good());
    }

    Bytes savedImage() const
    {
        std::ifstream file(m_imagePath, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

    Control control;
    std::string m_imagePath;
    std::string m_updatePath;
};

TEST_F(Transfer, EveryRecordArrivesAndTheDeviceRestartsWithTheNewFirmware)
{
    Header fields;
    fields.hardwareMajor = 8;
    fields.application[2] = 8;
    fields.entry = 1;  // the running firmware takes the mode request
    fields.target = 0; // its boot loader takes the records
    // Records long and short, with every start and escape byte in them.
    const Bytes records = join({record(300, 0xC0), record(1), record(64, 0xE0), record(900)});
    writeUpdateFile(join({header(fields), records}));

    bool echo = false;
    ASSERT_TRUE(control.testInterface(port(), &echo)) << control.lastOpenError();
    ASSERT_TRUE(echo);
    control.setProgressCallback(recordProgress);
    ASSERT_EQ(control.runUpdate(m_updatePath.c_str()), 0);

    EXPECT_EQ(savedImage(), records);
    ASSERT_FALSE(g_progress.empty());
    EXPECT_EQ(g_progress.front(), 0);
    EXPECT_EQ(g_progress.back(), 100);
    EXPECT_TRUE(std::is_sorted(g_progress.begin(), g_progress.end()));

    // The device restarts once the records stop; until then it does not
    // answer as firmware, and each try waits out one read time-out.
    DeviceInfo info;
    bool answered = false;
    for (int attempt = 0; attempt < 3 && !answered; ++attempt)
        answered = control.queryDeviceInfo(&info);
    ASSERT_TRUE(answered);
    EXPECT_EQ(info.applicationVersionText(), "3.1.8");
    EXPECT_EQ(info.dataVersionText(), "1.3");
}

} // namespace
