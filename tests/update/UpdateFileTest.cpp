// The update file as the user chose it: SHA-256 fingerprints, the paths
// refused before anything is opened, and an image that stays what was loaded
// whatever happens to the file afterwards.

#include "Sha256.h"
#include "TempFolder.h"
#include "UpdateFile.h"
#include "UpdateImage.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <set>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using ZORVI::Sha256;
using ZORVI::Update;
using ZORVI::UpdateFile;
using Refusal = ZORVI::UpdateFile::Refusal;
using UpdateImage::Bytes;

namespace {

std::string digestOf(const std::string& text)
{
    return Sha256::hexDigest(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

struct DigestCase {
    std::string input;
    const char* digest;
};

} // namespace

TEST(Sha256, StandardVectorsAndPaddingBoundaries)
{
    const DigestCase cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqr"
         "lmnopqrsmnopqrstnopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        // The length field fits the last block, just fits, and just does not.
        {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
        {std::string(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
        {std::string(63, 'a'), "7d3e74a05d7db15bce4ad9ec0658ea98e3f06eeecf16b4c6fff2da457ddc2f34"},
        {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
        {std::string(119, 'a'), "31eba51c313a5c08226adf18d4a359cfdfd8d2e816b13f4af952f7ea6584dcfb"},
        {std::string(120, 'a'), "2f3d335432c70b580af0e8e1b3674a7c020d683aa5f73aaaedfdc55af904c21c"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const DigestCase& c : cases) {
        SCOPED_TRACE("length " + std::to_string(c.input.size()));
        EXPECT_EQ(digestOf(c.input), c.digest);
    }
}

namespace {

Bytes imageWith(uint16_t applicationPatch, std::initializer_list<uint32_t> recordLengths)
{
    UpdateImage::Header fields;
    fields.application[2] = applicationPatch;
    Bytes image = UpdateImage::header(fields);
    uint8_t first = 0x10;
    for (uint32_t length : recordLengths) {
        const Bytes next = UpdateImage::record(length, first);
        image.insert(image.end(), next.begin(), next.end());
        first = static_cast<uint8_t>(first + 0x40);
    }
    return image;
}

std::vector<Bytes> recordsOf(const Update& update)
{
    std::vector<Bytes> records;
    for (const ZORVI::UpdateRecord* record = update.records(); record; record = record->next)
        records.emplace_back(record->data, record->data + record->size);
    return records;
}

// Loads with a time bound: a load that blocks (as opening a FIFO with no
// writer does) fails the test instead of hanging it.
struct Loaded {
    std::unique_ptr<UpdateFile> file;
    Refusal refusal = Refusal::None;
};

Loaded loadBounded(const std::string& path)
{
    std::future<Loaded> pending = std::async(std::launch::async, [path] {
        Loaded loaded;
        loaded.file = UpdateFile::load(path, &loaded.refusal);
        return loaded;
    });
    if (pending.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        ADD_FAILURE() << "loading " << path << " blocked";
#ifndef _WIN32
        // A writer that comes and goes releases a reader blocked on a FIFO.
        const int writer = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0)
            ::close(writer);
#endif
    }
    return pending.get();
}

struct RefusalCase {
    const char* name;
    std::function<std::string(const TempFolder&)> makePath;
    Refusal refusal;
};

} // namespace

TEST(UpdateFile, LoadsTheBytesWithTheirFingerprint)
{
    TempFolder folder;
    ASSERT_TRUE(folder.isReady());
    const Bytes image = imageWith(8, {20, 3});
    const std::string text = UpdateImage::text(image, "\r\n") + "\r\n";
    const std::string path = folder.write("zorvik-3.1.8.upd", text);

    const Loaded loaded = loadBounded(path);
    ASSERT_TRUE(loaded.file);
    EXPECT_EQ(loaded.refusal, Refusal::None);
    EXPECT_EQ(loaded.file->path(), path);
    EXPECT_EQ(loaded.file->fileName(), "zorvik-3.1.8.upd");
    EXPECT_EQ(loaded.file->size(), text.size());
    EXPECT_EQ(loaded.file->sha256(), digestOf(text));
    ASSERT_TRUE(loaded.file->update().isValid());
    EXPECT_EQ(loaded.file->update().versionInfo().applicationPatch(), 8);
    EXPECT_EQ(recordsOf(loaded.file->update()).size(), 2u);
    EXPECT_EQ(loaded.file->update().recordCount(), 2u);
}

TEST(UpdateFile, PathsThatCannotBeUsedAreRefusedWithAReason)
{
    TempFolder folder;
    ASSERT_TRUE(folder.isReady());
    std::vector<RefusalCase> cases = {
        {"missing", [](const TempFolder& f) { return f.file("missing.upd"); }, Refusal::NotFound},
        {"directory",
         [](const TempFolder& f) {
             std::filesystem::create_directory(f.file("folder.upd"));
             return f.file("folder.upd");
         },
         Refusal::NotRegularFile},
        {"larger than any update file",
         [](const TempFolder& f) {
             const std::string path = f.write("huge.upd", "");
             std::filesystem::resize_file(path, 16u * 1024u * 1024u + 1u);
             return path;
         },
         Refusal::TooLarge},
#ifndef _WIN32
        {"FIFO without a writer",
         [](const TempFolder& f) {
             const std::string path = f.file("pipe.upd");
             EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
             return path;
         },
         Refusal::NotRegularFile},
        {"character device", [](const TempFolder&) { return std::string("/dev/null"); },
         Refusal::NotRegularFile},
        {"symbolic link loop",
         [](const TempFolder& f) {
             std::filesystem::create_symlink(f.file("b.upd"), f.file("a.upd"));
             std::filesystem::create_symlink(f.file("a.upd"), f.file("b.upd"));
             return f.file("a.upd");
         },
         Refusal::Unreadable},
#endif
    };
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Loaded loaded = loadBounded(c.makePath(folder));
        EXPECT_FALSE(loaded.file);
        EXPECT_EQ(loaded.refusal, c.refusal);
    }
}

#ifdef _WIN32
TEST(UpdateFile, DeviceNameIsNeverReadAsAFile)
{
    // Windows finds its devices under reserved names in every folder; which
    // refusal depends on the Windows version (no such file, or not a regular
    // file once opened), but the device is never read as an update.
    const Loaded loaded = loadBounded("NUL");
    EXPECT_FALSE(loaded.file);
    EXPECT_TRUE(loaded.refusal == Refusal::NotFound || loaded.refusal == Refusal::NotRegularFile)
        << static_cast<int>(loaded.refusal);
}
#endif

TEST(UpdateFile, InvalidContentIsLoadedToSayWhy)
{
    TempFolder folder;
    ASSERT_TRUE(folder.isReady());
    Bytes brokenCrc = imageWith(0, {4});
    brokenCrc[9] ^= 1;
    const struct {
        const char* name;
        std::string text;
        Update::Problem problem;
    } cases[] = {
        {"empty", "", Update::Problem::TooShort},
        {"not hexadecimal", "00 01 zz", Update::Problem::NotHexText},
        {"header CRC", UpdateImage::text(brokenCrc), Update::Problem::HeaderCrc},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Loaded loaded = loadBounded(folder.write("invalid.upd", c.text));
        ASSERT_TRUE(loaded.file);
        EXPECT_EQ(loaded.refusal, Refusal::Invalid);
        EXPECT_FALSE(loaded.file->update().isValid());
        EXPECT_EQ(loaded.file->update().problem(), c.problem);
        EXPECT_EQ(loaded.file->sha256(), digestOf(c.text));
    }
}

TEST(UpdateFile, EveryRefusalHasItsOwnReason)
{
    std::set<std::string> reasons;
    for (Refusal refusal : {Refusal::NotFound, Refusal::NotRegularFile, Refusal::Unreadable,
                            Refusal::TooLarge, Refusal::Invalid}) {
        const std::string reason = UpdateFile::reason(refusal);
        EXPECT_GT(reason.size(), 20u) << reason;
        EXPECT_TRUE(reasons.insert(reason).second) << reason;
    }
    EXPECT_EQ(std::string(UpdateFile::reason(Refusal::None)), "");
}

TEST(UpdateFile, TheLoadedImageOutlivesChangesToTheFile)
{
    TempFolder folder;
    ASSERT_TRUE(folder.isReady());
    const Bytes original = imageWith(8, {30, 5});
    const std::string originalText = UpdateImage::text(original, "\n");
    const std::string replacementText = UpdateImage::text(imageWith(9, {44}), "\n");
    const std::string path = folder.write("firmware.upd", originalText);
    const std::string expectedText = UpdateImage::text(original);
    const std::unique_ptr<Update> expected =
        Update::fromText(expectedText.data(), expectedText.size());

    const Loaded loaded = loadBounded(path);
    ASSERT_TRUE(loaded.file);
    // Written over in place, then replaced by another file under the name.
    folder.write("firmware.upd", replacementText);
    const std::string other = folder.write("other.upd", replacementText);
    std::filesystem::rename(other, path);

    const UpdateFile& file = *loaded.file;
    EXPECT_EQ(file.update().versionInfo().applicationPatch(), 8);
    EXPECT_EQ(recordsOf(file.update()), recordsOf(*expected));
    EXPECT_EQ(file.sha256(), digestOf(originalText));
    EXPECT_EQ(file.size(), originalText.size());
    // Loading again reads the file as it is now.
    const Loaded again = loadBounded(path);
    ASSERT_TRUE(again.file);
    EXPECT_EQ(again.file->update().versionInfo().applicationPatch(), 9);
    EXPECT_EQ(again.file->sha256(), digestOf(replacementText));
}
