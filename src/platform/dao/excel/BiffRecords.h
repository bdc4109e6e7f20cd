#pragma once

#include <QByteArray>
#include <QString>
#include <bit>
#include <cstdint>
#include <span>
#include <vector>

namespace keldara::dao::xls {

namespace record {
inline constexpr std::uint16_t Formula = 0x0006;
inline constexpr std::uint16_t Eof = 0x000A;
inline constexpr std::uint16_t Format2 = 0x001E;  // BIFF2-3 FORMAT
inline constexpr std::uint16_t DateMode = 0x0022;
inline constexpr std::uint16_t FilePass = 0x002F;
inline constexpr std::uint16_t Continue = 0x003C;
inline constexpr std::uint16_t CodePage = 0x0042;
inline constexpr std::uint16_t BoundSheet = 0x0085;
inline constexpr std::uint16_t MulRk = 0x00BD;
inline constexpr std::uint16_t MulBlank = 0x00BE;
inline constexpr std::uint16_t RString = 0x00D6;
inline constexpr std::uint16_t Xf = 0x00E0;
inline constexpr std::uint16_t Sst = 0x00FC;
inline constexpr std::uint16_t LabelSst = 0x00FD;
inline constexpr std::uint16_t Dimensions = 0x0200;
inline constexpr std::uint16_t Blank = 0x0201;
inline constexpr std::uint16_t Number = 0x0203;
inline constexpr std::uint16_t Label = 0x0204;
inline constexpr std::uint16_t BoolErr = 0x0205;
inline constexpr std::uint16_t Formula3 = 0x0206;
inline constexpr std::uint16_t String = 0x0207;
inline constexpr std::uint16_t Bof2 = 0x0009;
inline constexpr std::uint16_t Bof3 = 0x0209;
inline constexpr std::uint16_t Bof4 = 0x0409;
inline constexpr std::uint16_t Bof = 0x0809;
inline constexpr std::uint16_t Xf3 = 0x0243;
inline constexpr std::uint16_t Rk = 0x027E;
inline constexpr std::uint16_t Format = 0x041E;
inline constexpr std::uint16_t Formula4 = 0x0406;
inline constexpr std::uint16_t Xf4 = 0x0443;
}  // namespace record

// One record of a BIFF stream: its type, its payload and where it starts in the stream.
struct Record {
    std::uint16_t type = 0;
    std::span<const std::uint8_t> data;
    std::size_t offset = 0;

    // Little-endian fields at an offset; sheet::FormatError when the record is too short.
    std::uint8_t u8(std::size_t at) const {
        require(at + 1);
        return data[at];
    }
    std::uint16_t u16(std::size_t at) const {
        require(at + 2);
        return static_cast<std::uint16_t>(data[at] | data[at + 1] << 8);
    }
    std::uint32_t u32(std::size_t at) const {
        return static_cast<std::uint32_t>(u16(at)) | static_cast<std::uint32_t>(u16(at + 2)) << 16;
    }
    double f64(std::size_t at) const {
        const std::uint64_t bits =
            static_cast<std::uint64_t>(u32(at)) | static_cast<std::uint64_t>(u32(at + 4)) << 32;
        return std::bit_cast<double>(bits);
    }
    void require(std::size_t bytes) const {
        if (data.size() < bytes) tooShort();
    }

  private:
    [[noreturn]] void tooShort() const;
};

// Reads the records of a BIFF stream one after another from a starting offset.
class RecordReader {
  public:
    RecordReader(const QByteArray& stream, std::size_t offset);

    // The next record; false at the end of the stream. A record that runs past the end of
    // the stream is a sheet::FormatError.
    bool next(Record& record);
    // The payloads of the CONTINUE records that follow, consumed.
    std::vector<std::span<const std::uint8_t>> takeContinues();

  private:
    bool peekType(std::uint16_t& type) const;

    const QByteArray& stream_;
    std::size_t offset_;
};

// Reads fields across a record and its CONTINUE records. Character data that crosses into a
// CONTINUE record restarts there with a flag byte telling whether it is 8 or 16 bits wide.
class ContinuedCursor {
  public:
    explicit ContinuedCursor(std::vector<std::span<const std::uint8_t>> segments);

    bool atEnd();
    std::uint8_t u8();
    std::uint16_t u16();
    std::uint32_t u32();
    void skip(std::size_t bytes);
    // A BIFF8 string: length (8 or 16 bits), flags, runs and phonetic data skipped.
    QString unicodeString(bool longLength);
    // The same string appended to `out`, for strings kept side by side.
    void appendUnicodeString(bool longLength, std::vector<char16_t>& out);
    // Raw bytes, for the byte strings of BIFF5 and older.
    QByteArray bytes(std::size_t count);

  private:
    bool skipExhausted();
    // cch characters of a BIFF8 string body: Latin-1 bytes or UTF-16LE units.
    void appendCharacters(std::size_t count, bool sixteenBit, std::vector<char16_t>& out);

    std::vector<std::span<const std::uint8_t>> segments_;
    std::size_t segment_ = 0;
    std::size_t pos_ = 0;
};

}  // namespace keldara::dao::xls
