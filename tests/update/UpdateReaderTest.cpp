#include "Update.h"
#include "UpdateImage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

using ZORVI::Update;
using ZORVI::UpdateRecord;
using namespace UpdateImage;

namespace {

std::unique_ptr<Update> read(const std::string& text)
{
    std::unique_ptr<Update> update = Update::fromText(text.data(), text.size());
    EXPECT_TRUE(update);
    return update;
}

std::vector<Bytes> recordsOf(const Update& update)
{
    std::vector<Bytes> records;
    for (const UpdateRecord* record = update.records(); record; record = record->next)
        records.emplace_back(record->data, record->data + record->size);
    return records;
}

void expectExample(const Update& update)
{
    ASSERT_TRUE(update.isValid());
    EXPECT_EQ(update.problem(), Update::Problem::None);
    EXPECT_EQ(update.totalBytes(), 5u);
    EXPECT_EQ(update.entryAddress(), 1);
    EXPECT_EQ(update.targetAddress(), 0);
    EXPECT_EQ(update.description(), nullptr);
    EXPECT_EQ(recordsOf(update), (std::vector<Bytes>{{0x00, 0x03, 0xAA, 0xBB, 0xCC}}));
    const ZORVI::DeviceInfo info = update.versionInfo();
    const Bytes expected = {0x00, 0x01, 0x00, 0x02,                   // data 1.2
                            0x00, 0x03, 0x00, 0x01, 0x00, 0x00,       // application 3.1.0
                            0x02, 0xFF,                               // hardware 2, any minor
                            0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}; // nothing else
    EXPECT_EQ(Bytes(info.bytes.begin(), info.bytes.end()), expected);
}

// A fresh file in the temporary directory, removed with the object.
class TempFile {
public:
    explicit TempFile(const std::string& content)
    {
        const std::string name = "zorvik-update-" + std::to_string(std::random_device()()) + ".upd";
        m_path = (std::filesystem::temp_directory_path() / name).string();
        std::ofstream(m_path, std::ios::binary) << content;
    }
    ~TempFile() { std::remove(m_path.c_str()); }
    const char* path() const { return m_path.c_str(); }

private:
    std::string m_path;
};

} // namespace

TEST(UpdateReader, ExampleReadsTheSameInEveryTextLayout)
{
    const Bytes example = UpdateImage::example();
    const std::string layouts[] = {
        text(example, " "),
        text(example, "\n"),
        text(example, "\r\n") + "\r\n",
        "\n\t  " + text(example, " \t ") + "  \n\n",
        text(example, ""), // digits only: every two form a byte
        "000100000016 02fF 0003000100000001 0002 01 0 0115 0 3 aA Bb cC",
        "0 1 0 0 0 16 2 FF 0 3 0 1 0 0 0 1 0 2 1 0 1 15 0 3 aa bb cc", // one-digit values
    };
    for (const std::string& layout : layouts) {
        SCOPED_TRACE(layout);
        expectExample(*read(layout));
    }
}

TEST(UpdateReader, ReadsAFileFromItsPath)
{
    TempFile file(text(UpdateImage::example(), "\n") + "\n");
    expectExample(Update(file.path()));

    const Update missing("/nonexistent/zorvik/file.upd");
    EXPECT_FALSE(missing.isValid());
    EXPECT_EQ(missing.problem(), Update::Problem::Unreadable);
    EXPECT_FALSE(Update(nullptr).isValid());
}

TEST(UpdateReader, DescribedHeaderWithAndWithoutText)
{
    Header fields;
    fields.kind = 2;
    fields.description = "Firmware 3.1.0 \xB5-release"; // 8-bit text, kept as it is
    auto described = read(text(join({header(fields), record(4)})));
    ASSERT_TRUE(described->isValid());
    EXPECT_STREQ(described->description(), fields.description.c_str());
    EXPECT_EQ(described->totalBytes(), 6u);
    EXPECT_EQ(described->versionInfo().bytes[4], 0);
    EXPECT_EQ(described->versionInfo().bytes[5], 3);

    fields.description.clear();
    auto plain = read(text(join({header(fields), record(4)})));
    ASSERT_TRUE(plain->isValid());
    EXPECT_EQ(plain->description(), nullptr);
}

TEST(UpdateReader, RecordsInFileOrderWithEmptyRecordCountingTwo)
{
    const Bytes image = join({header({}), record(0), record(1, 0xE5), record(300, 7)});
    auto update = read(text(image));
    ASSERT_TRUE(update->isValid());
    EXPECT_EQ(update->totalBytes(), 2u + 3u + 302u);
    const std::vector<Bytes> records = recordsOf(*update);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0], record(0));
    EXPECT_EQ(records[1], record(1, 0xE5));
    EXPECT_EQ(records[2], record(300, 7));
}

using Problem = Update::Problem;

struct InvalidCase {
    const char* name;
    std::string text;
    Problem problem;
};

std::vector<InvalidCase> invalidCases()
{
    const Bytes example = UpdateImage::example();
    const Bytes exampleHeader(example.begin(), example.begin() + 22);
    Header unknownKind;
    unknownKind.kind = 3;
    Header described;
    described.kind = 2;
    described.description = "abc";
    Bytes shortDescribed = header(described);
    shortDescribed[5] = 25; // header length below 26 (CRC no longer matters)
    Bytes wrongDescribedLength = headerWithoutCrc(described);
    wrongDescribedLength[23] = 4; // n = 4, length still 29
    appendCrc(wrongDescribedLength);
    Bytes longPlain = headerWithoutCrc({});
    longPlain[5] = 23;
    longPlain.push_back(0);
    appendCrc(longPlain);

    return {
        {"empty", "", Problem::TooShort},
        {"white space only", " \n\t ", Problem::TooShort},
        {"five values", "00 01 00 00 00", Problem::TooShort},
        {"header alone", text(exampleHeader), Problem::NoRecords},
        {"described header alone", text(header(described)), Problem::NoRecords},
        {"unknown kind", text(join({header(unknownKind), record(3)})), Problem::UnknownKind},
        {"kind 0", text(join({Bytes{0, 0, 0, 0, 0, 22}, Bytes(16, 0), record(3)})),
         Problem::UnknownKind},
        {"plain header length 23", text(join({longPlain, record(3)})), Problem::HeaderLength},
        {"described header length 25", text(join({shortDescribed, record(3)})),
         Problem::HeaderLength},
        {"described length not n + 26", text(join({wrongDescribedLength, record(3)})),
         Problem::HeaderLength},
        {"record one byte short", text(Bytes(example.begin(), example.end() - 1)),
         Problem::RecordsDoNotFit},
        {"one byte after the last record", text(example) + " 00", Problem::RecordsDoNotFit},
        {"last length field past the end",
         text(join({exampleHeader, record(3), Bytes{0x00, 0x09, 0x01}})),
         Problem::RecordsDoNotFit},
        {"letter after a complete image", text(example) + " x", Problem::NotHexText},
        {"letter inside",
         "00 01 00 00 00 16 02 FF 00 03 00 01 00 00 00 01 00 02 01 00 01 15 00 03 AA BG CC",
         Problem::NotHexText},
        {"0x prefixes", "0x00 0x01", Problem::NotHexText},
        {"comma separators", text(example, ","), Problem::NotHexText},
        {"NUL in the text", text(example) + std::string(1, '\0'), Problem::NotHexText},
        {"record length 65534", text(join({exampleHeader, record(65534)})),
         Problem::RecordTooLong},
        {"record length 65535", text(join({exampleHeader, record(65535)})),
         Problem::RecordTooLong},
    };
}

TEST(UpdateReader, EveryMalformedFileIsNotValid)
{
    for (const InvalidCase& c : invalidCases()) {
        SCOPED_TRACE(c.name);
        auto update = read(c.text);
        EXPECT_FALSE(update->isValid());
        EXPECT_EQ(update->problem(), c.problem);
    }
}

TEST(UpdateReader, LongestRecordIsTaken)
{
    const Bytes image = join({header({}), record(65533)});
    auto update = read(text(image));
    ASSERT_TRUE(update->isValid());
    EXPECT_EQ(update->totalBytes(), 65535u);
    ASSERT_NE(update->records(), nullptr);
    EXPECT_EQ(update->records()->size, 65535);
}

TEST(UpdateReader, EveryChangedHeaderByteFailsTheCrc)
{
    const Bytes example = UpdateImage::example();
    for (size_t offset = 0; offset < 22; ++offset) {
        for (uint8_t flip : {0x01, 0x80}) {
            Bytes changed = example;
            changed[offset] ^= flip;
            SCOPED_TRACE("offset " + std::to_string(offset) + " flip " + std::to_string(flip));
            auto update = read(text(changed));
            EXPECT_FALSE(update->isValid());
            // A changed kind or length may fail before the CRC is looked at.
            if (offset >= 6) {
                EXPECT_EQ(update->problem(), Update::Problem::HeaderCrc);
            }
        }
    }
}

TEST(UpdateReader, AddressesOtherThanDeviceAddressesReadAsNone)
{
    for (int value = 0; value < 256; ++value) {
        Header fields;
        fields.entry = static_cast<uint8_t>(value);
        fields.target = static_cast<uint8_t>(255 - value);
        auto update = read(text(join({header(fields), record(1)})));
        ASSERT_TRUE(update->isValid());
        auto mapped = [](int address) {
            return (address <= 3 || address == 6) ? address : 255;
        };
        EXPECT_EQ(update->entryAddress(), mapped(value)) << value;
        EXPECT_EQ(update->targetAddress(), mapped(255 - value)) << value;
    }
}

TEST(UpdateReader, AnyHardwareMinorStaysInTheVersionRecord)
{
    for (uint8_t minor : {0x00, 0x07, 0xFF}) {
        Header fields;
        fields.hardwareMajor = 8;
        fields.hardwareMinor = minor;
        auto update = read(text(join({header(fields), record(1)})));
        ASSERT_TRUE(update->isValid());
        EXPECT_EQ(update->versionInfo().bytes[10], 8);
        EXPECT_EQ(update->versionInfo().bytes[11], minor);
    }
}

// Records that fill the image up to exactly `values` byte values.
Bytes imageOfLength(uint32_t values)
{
    Bytes image = header({});
    while (image.size() < values) {
        const uint32_t left = values - static_cast<uint32_t>(image.size());
        // Never leave a single byte, which cannot hold a record.
        uint32_t size = left > 65535 ? 65535 : left;
        if (left - size == 1)
            --size;
        const Bytes next = record(size - 2, static_cast<uint8_t>(image.size()));
        image.insert(image.end(), next.begin(), next.end());
    }
    return image;
}

TEST(UpdateReader, ValuesBeyondTheCapAreNotRead)
{
    const Bytes full = imageOfLength(Update::MAX_VALUES);
    ASSERT_EQ(full.size(), Update::MAX_VALUES);

    auto exact = read(text(full));
    ASSERT_TRUE(exact->isValid());
    EXPECT_EQ(exact->totalBytes(), Update::MAX_VALUES - 22);

    // Whatever follows the cap is never looked at.
    auto beyond = read(text(full) + " 00 11 22 zz");
    ASSERT_TRUE(beyond->isValid());
    EXPECT_EQ(beyond->totalBytes(), Update::MAX_VALUES - 22);
    EXPECT_EQ(recordsOf(*beyond), recordsOf(*exact));

    // A last record that runs one value past the cap is cut there.
    auto cut = read(text(imageOfLength(Update::MAX_VALUES + 1)));
    EXPECT_FALSE(cut->isValid());
    EXPECT_EQ(cut->problem(), Update::Problem::RecordsDoNotFit);
}

// A file is taken in large reads: a file many reads long, whose digit pairs
// straddle the read boundaries, reads exactly as its text does, up to the cap.
TEST(UpdateReader, ALargeFileReadsAsItsText)
{
    const Bytes full = imageOfLength(Update::MAX_VALUES);
    const std::string layouts[] = {
        text(full, " "),
        text(full, ""),
        text(full, "\r\n") + " 00 11 zz",
    };
    for (const std::string& layout : layouts) {
        SCOPED_TRACE(layout.substr(0, 8));
        TempFile file(layout);
        const Update fromFile(file.path());
        auto fromText = read(layout);
        ASSERT_TRUE(fromFile.isValid());
        EXPECT_EQ(fromFile.totalBytes(), Update::MAX_VALUES - 22);
        EXPECT_EQ(recordsOf(fromFile), recordsOf(*fromText));
    }
}

namespace {

// Bit by bit, straight from the polynomial: an oracle independent of the
// piecewise run the reader needs for headers longer than 65535 bytes.
uint16_t referenceCrc(const Bytes& data)
{
    uint16_t crc = 0;
    for (uint8_t byte : data) {
        for (int bit = 7; bit >= 0; --bit) {
            const bool feedback = ((crc >> 15) & 1) != ((byte >> bit) & 1);
            crc = static_cast<uint16_t>(crc << 1);
            if (feedback)
                crc ^= 0x0413;
        }
    }
    return crc;
}

} // namespace

TEST(UpdateReader, DescribedHeaderLongerThanOneCrcRun)
{
    const Bytes digits = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    ASSERT_EQ(referenceCrc(digits), 0xB2B4);

    // Header lengths around the 65535-byte run of one crc16 call.
    for (uint32_t headerLength : {65535u, 65536u, 65537u, 70000u, 131071u, 131072u}) {
        SCOPED_TRACE(headerLength);
        Header fields;
        fields.kind = 2;
        fields.description.resize(headerLength - 26);
        for (size_t i = 0; i < fields.description.size(); ++i)
            fields.description[i] = static_cast<char>('A' + i % 26);
        Bytes image = headerWithoutCrc(fields);
        appendBig(image, referenceCrc(image), 2);
        ASSERT_EQ(image.size(), headerLength);
        const Bytes good = join({image, record(1)});
        auto update = read(text(good, ""));
        ASSERT_TRUE(update->isValid());
        EXPECT_EQ(std::string(update->description()), fields.description);

        Bytes bad = good;
        bad[headerLength - 100] ^= 0x04;
        EXPECT_FALSE(read(text(bad, ""))->isValid());
    }
}
