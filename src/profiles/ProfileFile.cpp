#include "profiles/ProfileFile.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>
#include <QStringDecoder>
#include <array>

namespace keldara::profiles {

namespace {

// The characters of bytes 0x80 to 0x9F; 0 where Windows-1252 leaves the byte undefined.
constexpr std::array<char16_t, 32> HighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

constexpr char Utf8Mark = '\x81';

std::optional<char> windows1252Byte(QChar c) {
    const char16_t u = c.unicode();
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return char(u);
    for (std::size_t i = 0; i < HighControls.size(); ++i) {
        if (HighControls[i] != 0 && HighControls[i] == u) return char(0x80 + i);
    }
    return std::nullopt;
}

QChar windows1252Char(unsigned char byte) {
    if (byte >= 0x80 && byte <= 0x9F && HighControls[byte - 0x80] != 0) {
        return QChar(HighControls[byte - 0x80]);
    }
    return QChar(byte);  // undefined bytes become the C1 control of the same number
}

const QByteArray MarkerText = "Test";
const QByteArray MappingsStartText = "Mappings From Here";
const QByteArray MappingsEndText = "Mappings To Here";

// Reads the little-endian fields of a record in order; any read past the end fails it.
class RecordReader {
  public:
    explicit RecordReader(const QByteArray& bytes) : bytes_(bytes) {}
    bool ok() const { return ok_; }

    QByteArray fixed(qsizetype length) {
        if (!ok_ || bytes_.size() - pos_ < length) {
            ok_ = false;
            return {};
        }
        QByteArray part = bytes_.mid(pos_, length);
        pos_ += length;
        return part;
    }
    quint32 number(int size) {
        const QByteArray part = fixed(size);
        quint32 value = 0;
        for (int i = part.size() - 1; i >= 0; --i) value = (value << 8) | quint8(part[i]);
        return value;
    }
    QByteArray text() { return fixed(quint16(number(2))); }

  private:
    const QByteArray& bytes_;
    qsizetype pos_ = 0;
    bool ok_ = true;
};

void appendNumber(QByteArray& out, quint32 value, int size) {
    for (int i = 0; i < size; ++i) out.append(char((value >> (8 * i)) & 0xFF));
}

constexpr qsizetype MaxTextLength = 0xFFFF;
constexpr quint16 TlsBlockLength = 0xFFFF;
// The TLS block's files together: the block and the end mark after it stay below
// TlsBlockLength bytes.
constexpr qsizetype MaxTlsFilesLength = 0xF000;

using dao::mysql::TlsMode;

void appendText(QByteArray& out, const QByteArray& text) {
    appendNumber(out, quint32(text.size()), 2);
    out.append(text);
}

QString savedAtText(const QDateTime& savedAt) {
    const QLocale locale = QLocale::system();
    return locale.toString(savedAt.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(savedAt.time(), QStringLiteral("hh:mm:ss"));
}

}  // namespace

QByteArray SwapHexDigits(const QByteArray& text) {
    QByteArray result;
    result.reserve(text.size());
    for (char c : text) {
        const quint8 code = quint8(c);
        const quint8 swapped = quint8((code % 16) * 16 + code / 16);
        if (swapped > 0) result.append(char(swapped));
    }
    return result;
}

QByteArray encodeProfileText(const QString& text) {
    QByteArray bytes;
    bytes.reserve(text.size());
    for (QChar c : text) {
        const std::optional<char> byte = windows1252Byte(c);
        if (!byte) return Utf8Mark + text.toUtf8();
        bytes.append(*byte);
    }
    return bytes;
}

QString decodeProfileText(const QByteArray& bytes) {
    if (bytes.startsWith(Utf8Mark)) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString text = utf8.decode(QByteArrayView(bytes).sliced(1));
        if (!utf8.hasError()) return text;
    }
    QString text;
    text.reserve(bytes.size());
    for (char c : bytes) text.append(windows1252Char(quint8(c)));
    return text;
}

std::optional<qint32> portNumber(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed.size() > 5) return std::nullopt;
    for (QChar c : trimmed) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
    }
    const int port = trimmed.toInt();
    if (port > 65535) return std::nullopt;
    return port;
}

QString profileProblem(const Profile& profile) {
    if (!portNumber(profile.port)) {
        return QStringLiteral("the port must be a whole number from 0 to 65535");
    }
    for (const QString* text :
         {&profile.sourceFile, &profile.sourceTable, &profile.server, &profile.user,
          &profile.password, &profile.database, &profile.targetTable}) {
        if (encodeProfileText(*text).size() > MaxTextLength) {
            return QStringLiteral("a text is longer than a profile can hold (65535 bytes)");
        }
    }
    const dao::mysql::TlsSettings& tls = profile.tls;
    if (encodeProfileText(tls.caFile + tls.certFile + tls.keyFile).size() > MaxTlsFilesLength) {
        return QStringLiteral("the TLS file names are longer than a profile can hold");
    }
    return {};
}

std::optional<ProfileRecord> recordFromProfile(const Profile& profile, const QDateTime& savedAt) {
    if (!profileProblem(profile).isEmpty()) return std::nullopt;
    const std::optional<qint32> port = portNumber(profile.port);
    ProfileRecord r;
    r.header = HeaderText.leftJustified(HeaderLength, ' ');
    r.marker = MarkerText;
    r.savedAt = encodeProfileText(savedAtText(savedAt));
    r.sourceFile = encodeProfileText(profile.sourceFile);
    r.sourceTable = encodeProfileText(profile.sourceTable);
    r.sourcePassword = SwapHexDigits({});
    r.flag = -1;
    r.server = SwapHexDigits(encodeProfileText(profile.server));
    r.user = SwapHexDigits(encodeProfileText(profile.user));
    r.password = SwapHexDigits(encodeProfileText(profile.password));
    r.database = encodeProfileText(profile.database);
    r.targetTable = encodeProfileText(profile.targetTable);
    r.port = *port;
    r.mappingsStart = MappingsStartText;
    r.mappingsEnd = MappingsEndText;
    if (profile.tls.mode != TlsMode::Disabled) {
        r.tlsMode = dao::mysql::tlsModeName(profile.tls.mode).toLatin1();
        r.tlsCaFile = encodeProfileText(profile.tls.caFile);
        r.tlsCertFile = encodeProfileText(profile.tls.certFile);
        r.tlsKeyFile = encodeProfileText(profile.tls.keyFile);
    }
    return r;
}

Profile profileFromRecord(const ProfileRecord& record) {
    Profile p;
    p.sourceFile = decodeProfileText(record.sourceFile);
    p.sourceTable = decodeProfileText(record.sourceTable);
    p.server = decodeProfileText(SwapHexDigits(record.server));
    p.user = decodeProfileText(SwapHexDigits(record.user));
    p.password = decodeProfileText(SwapHexDigits(record.password));
    p.database = decodeProfileText(record.database);
    p.targetTable = decodeProfileText(record.targetTable);
    p.port = QString::number(record.port);
    if (!record.tlsMode.isEmpty()) {
        p.tls.mode = dao::mysql::tlsModeNamed(QString::fromLatin1(record.tlsMode))
                         .value_or(TlsMode::VerifyIdentity);
        p.tls.caFile = decodeProfileText(record.tlsCaFile);
        p.tls.certFile = decodeProfileText(record.tlsCertFile);
        p.tls.keyFile = decodeProfileText(record.tlsKeyFile);
    }
    return p;
}

QByteArray serializeRecord(const ProfileRecord& r) {
    QByteArray out = r.header.leftJustified(HeaderLength, ' ', true);
    for (const QByteArray* text :
         {&r.marker, &r.savedAt, &r.sourceFile, &r.sourceTable, &r.sourcePassword}) {
        appendText(out, *text);
    }
    appendNumber(out, quint16(r.flag), 2);
    for (const QByteArray* text : {&r.server, &r.user, &r.password, &r.database, &r.targetTable}) {
        appendText(out, *text);
    }
    appendNumber(out, quint32(r.port), 4);
    appendText(out, r.mappingsStart);
    if (!r.tlsMode.isEmpty()) {
        appendNumber(out, TlsBlockLength, 2);
        for (const QByteArray* text :
             {&TlsBlockMark, &r.tlsMode, &r.tlsCaFile, &r.tlsCertFile, &r.tlsKeyFile}) {
            appendText(out, *text);
        }
    }
    appendText(out, r.mappingsEnd);
    return out;
}

std::optional<ProfileRecord> parseRecord(const QByteArray& bytes) {
    RecordReader in(bytes);
    ProfileRecord r;
    r.header = in.fixed(HeaderLength);
    for (QByteArray* text :
         {&r.marker, &r.savedAt, &r.sourceFile, &r.sourceTable, &r.sourcePassword}) {
        *text = in.text();
    }
    r.flag = qint16(quint16(in.number(2)));
    for (QByteArray* text : {&r.server, &r.user, &r.password, &r.database, &r.targetTable}) {
        *text = in.text();
    }
    r.port = qint32(in.number(4));
    r.mappingsStart = in.text();
    const quint16 endLength = quint16(in.number(2));
    if (endLength == TlsBlockLength) {
        if (in.text() != TlsBlockMark) return std::nullopt;
        for (QByteArray* text : {&r.tlsMode, &r.tlsCaFile, &r.tlsCertFile, &r.tlsKeyFile}) {
            *text = in.text();
        }
        // A mode this reader does not know is refused, not read as a weaker one.
        if (!dao::mysql::tlsModeNamed(QString::fromLatin1(r.tlsMode))) return std::nullopt;
        r.mappingsEnd = in.text();
    } else {
        r.mappingsEnd = in.fixed(endLength);
    }
    if (!in.ok()) return std::nullopt;
    return r;
}

std::optional<ProfileRecord> ReadProfile(const QString& path) {
    if (!QFileInfo(path).isFile()) return std::nullopt;  // a folder, a FIFO, a device
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const QByteArray bytes = file.read(MaxProfileFileBytes + 1);
    if (bytes.size() > MaxProfileFileBytes) return std::nullopt;
    return parseRecord(bytes);
}

bool WriteProfile(const QString& path, const ProfileRecord& record) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(serializeRecord(record));
    return file.commit();
}

std::optional<Profile> readProfileFile(const QString& path) {
    const std::optional<ProfileRecord> record = ReadProfile(path);
    if (!record) return std::nullopt;
    return profileFromRecord(*record);
}

dao::mysql::TlsSettings tlsForRun(const std::optional<dao::mysql::TlsSettings>& given,
                                  const Profile& profile) {
    if (!given) return profile.tls;
    dao::mysql::TlsSettings tls = *given;
    if (tls.certFile.isEmpty() && tls.keyFile.isEmpty()) {
        tls.certFile = profile.tls.certFile;
        tls.keyFile = profile.tls.keyFile;
    }
    return tls;
}

}  // namespace keldara::profiles
