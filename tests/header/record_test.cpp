// TQelInfoStruct against a byte image laid out by hand, little-endian, as the
// library writes it: every field must read back from its own offset with its
// own width and signedness.
#include "TALVIK.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

size_t AloneRecordSize();

namespace {

struct Image {
    unsigned char bytes[250];

    void Le(size_t at, uint64_t value, size_t width)
    {
        for (size_t i = 0; i < width; ++i)
            bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
    }
    void Text(size_t at, const char *s)
    {
        std::memset(bytes + at, 0, 32);
        std::memcpy(bytes + at, s, std::strlen(s));
    }
};

// Fields of a packed record are copied out before comparing: gtest would bind
// references to them, and they are not aligned.
template <typename T>
T V(T value)
{
    return value;
}

uint64_t DoubleBits(double d)
{
    uint64_t u;
    std::memcpy(&u, &d, sizeof u);
    return u;
}

TEST(QelInfoStruct, SizeIsTheSameInEveryTranslationUnit)
{
    EXPECT_EQ(sizeof(TQelInfoStruct), 250u);
    EXPECT_EQ(AloneRecordSize(), 250u);
    EXPECT_EQ(sizeof(TShortString), 32u);
    EXPECT_EQ(sizeof(TSample), 8u);
    EXPECT_EQ(sizeof(TAccurateTime), 8u);
}

TEST(QelInfoStruct, ReadsAByteImage)
{
    Image img;
    // A filler that no field value below uses, so a field read from the
    // wrong place shows.
    std::memset(img.bytes, 0xA5, sizeof img.bytes);
    img.Le(0, 0xFFFFFFFEu, 4);  // QelId -2: signed
    const unsigned char mac[6] = {0x00, 0x1B, 0xC5, 0xFE, 0x80, 0xFF};
    std::memcpy(img.bytes + 4, mac, 6);
    img.Text(10, "00-1B-C5-FE-80-FF");
    img.Le(42, 0x01020304u, 4);
    img.Text(46, "PN-4711");
    img.Text(78, "SN-0042");
    img.Le(110, 2019, 4);
    img.Le(114, 11, 4);
    img.Le(118, 30, 4);
    img.Text(122, "2019-11-30");
    const unsigned char ip[4] = {192, 168, 200, 254};
    std::memcpy(img.bytes + 154, ip, 4);
    img.Text(158, "192.168.200.254");
    img.Text(190, "0123456789012345678901234567890");  // 31 characters, the most
    img.Le(222, DoubleBits(48000.125), 8);
    img.Le(230, 0xBEEF, 2);  // above 0x7FFF: unsigned
    img.Le(232, 0x8001, 2);
    for (int i = 0; i < 16; ++i)
        img.bytes[234 + i] = static_cast<unsigned char>(0xF0 + i);

    TQelInfoStruct q;
    static_assert(sizeof q == sizeof img.bytes, "image and record differ in size");
    std::memcpy(&q, img.bytes, sizeof q);

    EXPECT_EQ(V(q.QelId), -2);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(V(q.Ethernet[i]), mac[i]) << "Ethernet[" << i << "]";
    EXPECT_EQ(std::string(q.StrEthernet), "00-1B-C5-FE-80-FF");
    EXPECT_EQ(V(q.SWVersion), 0x01020304);
    EXPECT_EQ(std::string(q.PartNumber), "PN-4711");
    EXPECT_EQ(std::string(q.SerialNumber), "SN-0042");
    EXPECT_EQ(V(q.ManYY), 2019);
    EXPECT_EQ(V(q.ManMM), 11);
    EXPECT_EQ(V(q.ManDD), 30);
    EXPECT_EQ(std::string(q.StrManDate), "2019-11-30");
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(V(q.IPAddr[i]), ip[i]) << "IPAddr[" << i << "]";
    EXPECT_EQ(std::string(q.StrIPAddr), "192.168.200.254");
    EXPECT_EQ(std::string(q.Name), "0123456789012345678901234567890");
    EXPECT_EQ(V(q.SampleRate), 48000.125);
    EXPECT_EQ(V(q.DigDDR), 0xBEEF);
    EXPECT_EQ(V(q.DigDefault), 0x8001);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(V(q.PortType[i]), 0xF0 + i) << "PortType[" << i << "]";

    // And back: writing the fields gives the same image.
    unsigned char out[250];
    std::memcpy(out, &q, sizeof out);
    EXPECT_EQ(std::memcmp(out, img.bytes, sizeof out), 0);
}

}  // namespace
