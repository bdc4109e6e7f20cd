#include "platform/dao/mysql/MySqlConnection.h"

#include <errmsg.h>
#include <mysqld_error.h>

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <cstdio>
#include <mutex>
#include <vector>

#include "platform/dao/ConnectionString.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/Providers.h"
#include "platform/dao/mysql/MySqlColumns.h"
#include "platform/dao/mysql/MySqlStatement.h"
#include "platform/dao/mysql/TlsSettings.h"

namespace keldara::dao {

std::unique_ptr<Connection> makeMySqlConnection() {
    return std::make_unique<mysql::MySqlConnection>();
}

namespace mysql {

namespace {

constexpr unsigned int kDefaultPort = 3306;

}  // namespace

// One server of a connection string's SERVER list.
struct Endpoint {
    QByteArray host;
    unsigned int port = kDefaultPort;
};

// What the connection string names: the servers (of one cluster, tried in turn) and the
// account on them.
struct ServerAddress {
    std::vector<Endpoint> servers;
    QByteArray user;
    QByteArray password;
    QByteArray database;  // empty: no default database
    TlsSettings tls;
    bool copying = false;  // COPY=1
};

namespace {

constexpr unsigned int kConnectTimeoutSeconds = 5;
// How long an answer may take before the server is given up as gone: a server that vanished
// without closing the line would otherwise hold a statement for ever. The longest statement
// Keldara sends (emptying a large table) stays well within it.
constexpr unsigned int kReadWriteTimeoutSeconds = 300;

// The value of the first of `keys` that the string holds (the driver's names and aliases).
QString valueOfAny(const ConnectionString& cs, std::initializer_list<const char*> keys) {
    for (const char* key : keys) {
        if (auto value = cs.value(QLatin1String(key))) return *value;
    }
    return {};
}

unsigned int parsePort(const QString& text, const QString& host) {
    if (text.isEmpty()) return kDefaultPort;
    bool ok = false;
    const uint port = text.toUInt(&ok);
    const bool allDigits = std::all_of(text.begin(), text.end(), [](QChar c) {
        return c >= QLatin1Char('0') && c <= QLatin1Char('9');
    });
    if (!ok || !allDigits || port == 0 || port > 65535) {
        throw DaoError(DaoError::OpenFailed,
                       QStringLiteral("Cannot connect to MySQL server '%1': the port \"%2\" is "
                                      "not a port number.")
                           .arg(host, text));
    }
    return port;
}

[[noreturn]] void refuseTls(const QString& host, const QString& problem) {
    throw DaoError(DaoError::OpenFailed,
                   QStringLiteral("Cannot connect to MySQL server '%1': %2").arg(host, problem));
}

// SSLMODE, SSLCA, SSLCERT and SSLKEY, as the MySQL ODBC driver names them. The modes that
// check the certificate need the CA file that it is checked against.
TlsSettings parseTls(const ConnectionString& cs, const QString& host) {
    TlsSettings tls;
    const QString modeText = valueOfAny(cs, {"SSLMODE", "SSL_MODE"});
    if (!modeText.isEmpty()) {
        const std::optional<TlsMode> mode = tlsModeNamed(modeText);
        if (!mode) {
            refuseTls(host, QStringLiteral("the TLS mode \"%1\" is not one of %2.")
                                .arg(modeText, tlsModeNames().join(QStringLiteral(", "))));
        }
        tls.mode = *mode;
    }
    tls.caFile = valueOfAny(cs, {"SSLCA", "SSL_CA"});
    tls.certFile = valueOfAny(cs, {"SSLCERT", "SSL_CERT"});
    tls.keyFile = valueOfAny(cs, {"SSLKEY", "SSL_KEY"});
    if (tls.checksCertificate() && tls.caFile.isEmpty()) {
        refuseTls(host, QStringLiteral("the TLS mode %1 needs a CA file to check the server's "
                                       "certificate against.")
                            .arg(tlsModeName(tls.mode)));
    }
    if (tls.mode == TlsMode::Disabled) return tls;
    for (const QString* file : {&tls.caFile, &tls.certFile, &tls.keyFile}) {
        if (!file->isEmpty() && !QFileInfo(*file).isReadable()) {
            refuseTls(host, QStringLiteral("the TLS file \"%1\" cannot be read.").arg(*file));
        }
    }
    return tls;
}

ServerAddress parseAddress(const QString& connectionString) {
    const ConnectionString cs = ConnectionString::parse(connectionString);
    ServerAddress address;
    const QString host = valueOfAny(cs, {"SERVER"});
    address.user = valueOfAny(cs, {"UID", "USER"}).toUtf8();
    address.password = valueOfAny(cs, {"PWD", "PASSWORD"}).toUtf8();
    address.database = valueOfAny(cs, {"DATABASE", "DB"}).toUtf8();
    // SERVER may list several servers, "host" or "host:port", separated by commas; PORT is
    // the port of those that name none.
    const unsigned int port = parsePort(valueOfAny(cs, {"PORT"}), host);
    for (const QString& entry : host.split(QLatin1Char(','))) {
        const QString name = entry.trimmed();
        const qsizetype colon = name.indexOf(QLatin1Char(':'));
        if (colon < 0 || name.indexOf(QLatin1Char(':'), colon + 1) >= 0) {
            address.servers.push_back({name.toUtf8(), port});
        } else {
            address.servers.push_back(
                {name.left(colon).toUtf8(), parsePort(name.mid(colon + 1), name)});
        }
    }
    address.tls = parseTls(cs, host);
    address.copying = valueOfAny(cs, {"COPY"}) == QLatin1String("1");
    return address;
}

const char* orNull(const QByteArray& text) {
    return text.isEmpty() ? nullptr : text.constData();
}

void initialiseLibraryOnce() {
    static std::once_flag once;
    std::call_once(once, [] { mysql_library_init(0, nullptr, nullptr); });
}

// The session's sql_mode: the server's, with STRICT_ALL_TABLES added so that a value a column
// cannot hold is refused rather than silently changed, and without NO_BACKSLASH_ESCAPES, as
// Keldara's literals escape with backslashes. A batch load may raise a warning for every line it
// takes: the session keeps as many as the server allows, so that each can be told.
constexpr const char* kSessionSqlMode =
    "SET SESSION sql_mode = CONCAT_WS(',', NULLIF(TRIM(BOTH ',' FROM REPLACE(CONCAT(',', "
    "@@SESSION.sql_mode, ','), ',NO_BACKSLASH_ESCAPES,', ',')), ''), 'STRICT_ALL_TABLES'), "
    "SESSION max_error_count = 65535";

// A session that copies a database keeps a 0 in an AUTO_INCREMENT column rather than giving it
// the next number, and loads tables before the foreign keys between them are checked.
constexpr const char* kCopyingSession =
    "SET SESSION sql_mode = CONCAT(@@SESSION.sql_mode, ',NO_AUTO_VALUE_ON_ZERO'), "
    "SESSION foreign_key_checks = 0";

// The most warnings gathered with their lines. The gathering below appends each warning to one
// JSON text, which takes time growing with the square of their number (5,000 warnings took
// 9 s); a batch with more is sent again record by record, which costs less.
constexpr unsigned int kMostLineWarnings = 200;

// Gathers the warnings of the statement before it, each with the line that raised it, as a
// JSON array of [line, error number, text] into @keldara_warnings. A compound statement leaves
// the warnings it reads in place, where any other statement would clear them first.
constexpr const char* kGatherLineWarnings =
    "BEGIN NOT ATOMIC DECLARE n, i INT DEFAULT 0; DECLARE r BIGINT; DECLARE e INT; "
    "DECLARE m TEXT; DECLARE gathered LONGTEXT DEFAULT '[]'; GET DIAGNOSTICS n = NUMBER; "
    "WHILE i < n DO SET i = i + 1; GET DIAGNOSTICS CONDITION i r = ROW_NUMBER, e = MYSQL_ERRNO, "
    "m = MESSAGE_TEXT; SET gathered = JSON_ARRAY_APPEND(gathered, '$', JSON_ARRAY(r, e, m)); "
    "END WHILE; SET @keldara_warnings = gathered; END";

// A fresh client handle: utf8mb4, strict sql_mode, always TCP (so that "localhost" means the port
// given, as it does for the ODBC driver), a short connect timeout, read and write timeouts,
// LOAD DATA LOCAL served from memory only (see serveLocalData), and no silent reconnect: a
// lost session is reported, so that the caller finds out what it had written.
MYSQL* newClientHandle() {
    initialiseLibraryOnce();
    MYSQL* handle = mysql_init(nullptr);
    if (handle == nullptr) {
        throw DaoError(DaoError::OpenFailed,
                       QStringLiteral("The MySQL client library is out of memory."));
    }
    const unsigned int timeout = kConnectTimeoutSeconds;
    const unsigned int readWriteTimeout = kReadWriteTimeoutSeconds;
    const my_bool reconnect = 0;
    const unsigned int protocol = MYSQL_PROTOCOL_TCP;
    const unsigned int localData = 1;
    mysql_options(handle, MYSQL_SET_CHARSET_NAME, "utf8mb4");
    mysql_options(handle, MYSQL_INIT_COMMAND, kSessionSqlMode);
    mysql_options(handle, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
    mysql_options(handle, MYSQL_OPT_READ_TIMEOUT, &readWriteTimeout);
    mysql_options(handle, MYSQL_OPT_WRITE_TIMEOUT, &readWriteTimeout);
    mysql_options(handle, MYSQL_OPT_RECONNECT, &reconnect);
    mysql_options(handle, MYSQL_OPT_PROTOCOL, &protocol);
    mysql_options(handle, MYSQL_OPT_LOCAL_INFILE, &localData);
    return handle;
}

// Connector/C's own TLS: any mode but Disabled asks for an encrypted connection (open() refuses
// one that is not); the CA file makes the library check the certificate chain, and
// VerifyIdentity also checks the host name.
void applyTls(MYSQL* handle, const TlsSettings& tls) {
    if (tls.mode == TlsMode::Disabled) return;
    const my_bool enforce = 1;
    const my_bool verifyHostName = tls.mode == TlsMode::VerifyIdentity ? 1 : 0;
    mysql_options(handle, MYSQL_OPT_SSL_ENFORCE, &enforce);
    mysql_options(handle, MYSQL_OPT_SSL_VERIFY_SERVER_CERT, &verifyHostName);
    const std::pair<mysql_option, const QString*> files[] = {{MYSQL_OPT_SSL_CA, &tls.caFile},
                                                             {MYSQL_OPT_SSL_CERT, &tls.certFile},
                                                             {MYSQL_OPT_SSL_KEY, &tls.keyFile}};
    for (const auto& [option, file] : files) {
        if (!file->isEmpty()) mysql_options(handle, option, QFile::encodeName(*file).constData());
    }
}

QString serverErrorText(MYSQL* handle) {
    return QString::fromUtf8(mysql_error(handle));
}

// The client's text of a failed connect; a TLS failure says which check the server failed.
QString connectErrorText(MYSQL* handle, const TlsSettings& tls) {
    const QString text = serverErrorText(handle);
    if (mysql_errno(handle) != CR_SSL_CONNECTION_ERROR) return text;
    if (tls.checksCertificate()) {
        return QStringLiteral(
                   "The TLS connection was refused: the server or its certificate did not "
                   "pass the %1 check (%2).")
            .arg(tlsModeName(tls.mode), text);
    }
    return QStringLiteral("The TLS connection was refused (%1).").arg(text);
}

// Owns a result and frees it, which also reads off any rows left unread.
struct ResultCloser {
    void operator()(MYSQL_RES* result) const { mysql_free_result(result); }
};
using Result = std::unique_ptr<MYSQL_RES, ResultCloser>;

// The local-infile callbacks: the "file" of a LOAD DATA LOCAL statement is the bytes that
// loadLocalData armed; with none armed (a statement of someone else's) the load is refused.
template <typename LocalData>
void serveLocalData(MYSQL* handle, LocalData* local) {
    const auto init = [](void** state, const char*, void* userdata) -> int {
        *state = userdata;
        return static_cast<LocalData*>(userdata)->bytes ? 0 : 1;
    };
    const auto read = [](void* state, char* buffer, unsigned int size) -> int {
        auto* data = static_cast<LocalData*>(state);
        const qsizetype count = std::min<qsizetype>(size, data->bytes->size() - data->sent);
        std::copy_n(data->bytes->constData() + data->sent, count, buffer);
        data->sent += count;
        return static_cast<int>(count);
    };
    const auto end = [](void*) {};
    const auto error = [](void*, char* message, unsigned int size) -> int {
        std::snprintf(message, size, "LOAD DATA LOCAL is not allowed here.");
        return CR_UNKNOWN_ERROR;
    };
    mysql_set_local_infile_handler(handle, +init, +read, +end, +error, local);
}

}  // namespace

void MySqlConnection::open(const QString& connectionString) {
    if (handle_) {
        throw DaoError(DaoError::General,
                       QStringLiteral("Operation is not allowed when the object is open."));
    }
    connectFrom(connectionString, 0);
}

void MySqlConnection::reconnect() {
    rowsStatement_ = {};
    handle_.reset();
    connectFrom(connectionString_, server_ + 1);
}

std::unique_ptr<Connection> MySqlConnection::openAlongside() {
    requireOpen();
    auto other = std::make_unique<MySqlConnection>();
    const ServerAddress address = parseAddress(connectionString_);
    other->handle_ = other->connectTo(address, address.servers[server_]);
    other->connectionString_ = connectionString_;
    other->server_ = server_;
    other->serverName_ = serverName_;
    return other;
}

QString MySqlConnection::serverName() const {
    return handle_ ? serverName_ : QString();
}

// The servers are tried in turn from the one numbered `first`, round the list; the first that
// answers is used. When none does, the first one's error is thrown.
void MySqlConnection::connectFrom(const QString& connectionString, std::size_t first) {
    const ServerAddress address = parseAddress(connectionString);
    std::optional<DaoError> failure;
    for (std::size_t i = 0; i < address.servers.size(); ++i) {
        const std::size_t index = (first + i) % address.servers.size();
        const Endpoint& server = address.servers[index];
        try {
            handle_ = connectTo(address, server);
        } catch (const DaoError& error) {
            if (!failure) failure = error;
            continue;
        }
        ++session_;
        connectionString_ = connectionString;
        server_ = index;
        serverName_ = QStringLiteral("%1:%2").arg(QString::fromUtf8(server.host)).arg(server.port);
        return;
    }
    throw *failure;
}

MySqlConnection::Handle MySqlConnection::connectTo(const ServerAddress& address,
                                                   const Endpoint& server) {
    Handle handle(newClientHandle());
    if (address.copying) mysql_options(handle.get(), MYSQL_INIT_COMMAND, kCopyingSession);
    applyTls(handle.get(), address.tls);
    // CLIENT_FOUND_ROWS: an UPDATE counts the rows it found, also those it left unchanged.
    if (mysql_real_connect(handle.get(), orNull(server.host), address.user.constData(),
                           address.password.constData(), orNull(address.database), server.port,
                           nullptr, CLIENT_FOUND_ROWS) == nullptr) {
        throw DaoError(DaoError::OpenFailed, connectErrorText(handle.get(), address.tls),
                       static_cast<int>(mysql_errno(handle.get())));
    }
    // Connector/C goes on unencrypted when the server offers no TLS and the host name is not
    // checked; such a connection is closed before any statement is sent.
    if (address.tls.mode != TlsMode::Disabled && mysql_get_ssl_cipher(handle.get()) == nullptr) {
        throw DaoError(DaoError::OpenFailed,
                       QStringLiteral("The TLS connection was refused: the server '%1' does not "
                                      "offer TLS, and the connection is not used unencrypted.")
                           .arg(QString::fromUtf8(server.host)),
                       CR_SSL_CONNECTION_ERROR);
    }
    serveLocalData(handle.get(), &localData_);
    return handle;
}

void MySqlConnection::close() {
    requireOpen();
    rowsStatement_ = {};
    handle_.reset();
}

MYSQL* MySqlConnection::requireOpen() const {
    if (!handle_) {
        throw DaoError(DaoError::NotOpen,
                       QStringLiteral("Operation is not allowed when the object is closed."));
    }
    return handle_.get();
}

namespace {

// The answers that mean the link to the server broke, or the server went away, while a
// statement was under way: it may or may not have been carried out.
bool connectionLost(unsigned int code) {
    switch (code) {
        case CR_SERVER_GONE_ERROR:
        case CR_SERVER_LOST:
        case CR_SERVER_LOST_EXTENDED:
        case ER_SERVER_SHUTDOWN:
        case ER_CONNECTION_KILLED:
            return true;
        default:
            return false;
    }
}

// The answers that undo the statement's transaction for the server's own reasons: sent again,
// it may pass. A Galera node that is not ready answers ER_UNKNOWN_COM_ERROR, and a
// certification conflict between nodes a deadlock.
bool retryTransaction(unsigned int code) {
    return code == ER_LOCK_DEADLOCK || code == ER_LOCK_WAIT_TIMEOUT || code == ER_UNKNOWN_COM_ERROR;
}

}  // namespace

DaoError::Category errorCategory(unsigned int code) {
    if (connectionLost(code)) return DaoError::Category::ConnectionLost;
    if (retryTransaction(code)) return DaoError::Category::RetryTransaction;
    return DaoError::Category::Refused;
}

DaoError MySqlConnection::serverError(int number) const {
    const unsigned int code = mysql_errno(handle_.get());
    if (code == ER_NO_SUCH_TABLE) number = DaoError::NoSuchTable;
    return DaoError(number, serverErrorText(handle_.get()), static_cast<int>(code),
                    errorCategory(code));
}

void MySqlConnection::throwServerError(int number) const {
    throw serverError(number);
}

void MySqlConnection::sendQuery(const QString& sql) {
    MYSQL* handle = requireOpen();
    const QByteArray text = sql.toUtf8();
    if (mysql_real_query(handle, text.constData(), static_cast<unsigned long>(text.size())) != 0) {
        throwServerError(DaoError::BadQuery);
    }
}

// Reads the rest of a multi-result answer (a CALL ends with one) so that the connection is
// ready for the next statement.
void MySqlConnection::discardFurtherResults() {
    MYSQL* handle = handle_.get();
    while (mysql_more_results(handle)) {
        if (mysql_next_result(handle) != 0) throwServerError(DaoError::BadQuery);
        Result(mysql_use_result(handle));
    }
}

void MySqlConnection::execute(const QString& sql) {
    executeCounted(sql);
}

long long MySqlConnection::executeCounted(const QString& sql) {
    sendQuery(sql);
    MYSQL* handle = handle_.get();
    long long affected = -1;
    if (mysql_field_count(handle) > 0) {
        Result result(mysql_use_result(handle));
        if (!result) throwServerError(DaoError::BadQuery);
    } else {
        affected = static_cast<long long>(mysql_affected_rows(handle));
    }
    discardFurtherResults();
    return affected;
}

// The server stops at the first statement that fails; the results of those before it come
// first. Several statements in one text are allowed only for its length.
Connection::EachCounted MySqlConnection::executeEach(const QStringList& statements) {
    MYSQL* handle = requireOpen();
    EachCounted each;
    if (statements.isEmpty()) return each;
    if (mysql_set_server_option(handle, MYSQL_OPTION_MULTI_STATEMENTS_ON) != 0) {
        throwServerError(DaoError::BadQuery);
    }
    struct SingleAgain {
        MYSQL* handle;
        ~SingleAgain() { mysql_set_server_option(handle, MYSQL_OPTION_MULTI_STATEMENTS_OFF); }
    } singleAgain{handle};
    const QByteArray text = statements.join(QLatin1Char(';')).toUtf8();
    // 0: a statement's result is there; -1: no more results; anything else: an error.
    int status =
        mysql_real_query(handle, text.constData(), static_cast<unsigned long>(text.size())) ? 1 : 0;
    while (status == 0) {
        if (mysql_field_count(handle) > 0) Result(mysql_use_result(handle));
        each.affected.push_back(static_cast<long long>(mysql_affected_rows(handle)));
        status = mysql_next_result(handle);
    }
    if (status != -1) each.failed = serverError(DaoError::BadQuery);
    return each;
}

Connection::LoadedData MySqlConnection::loadLocalData(const QString& statement,
                                                      const QByteArray& data) {
    localData_ = {&data, 0};
    struct Disarm {
        LocalData& local;
        ~Disarm() { local = {}; }
    } disarm{localData_};
    LoadedData loaded;
    loaded.rows = executeCounted(statement);
    loaded.warnings = mysql_warning_count(handle_.get());
    if (loaded.warnings > 0 && loaded.warnings <= kMostLineWarnings) {
        loaded.lineWarnings = lineWarnings(loaded.warnings);
    }
    return loaded;
}

// The `count` warnings of the statement just run, each with its line; empty when the server
// cannot tell them all (one without a line, or a server without GET DIAGNOSTICS ROW_NUMBER).
std::vector<Connection::LoadedData::Warning> MySqlConnection::lineWarnings(unsigned int count) {
    try {
        execute(QString::fromLatin1(kGatherLineWarnings));
    } catch (const DaoError& error) {
        if (error.transient()) throw;
        return {};
    }
    const QByteArray json =
        openRecordset(
            QStringLiteral("SELECT CAST(@keldara_warnings AS CHAR CHARACTER SET utf8mb4)"))
            ->valueAt(0, 0)
            .standardText()
            .toUtf8();
    const QJsonArray gathered = QJsonDocument::fromJson(json).array();
    std::vector<LoadedData::Warning> warnings;
    for (const QJsonValue& entry : gathered) {
        const QJsonArray warning = entry.toArray();
        // The server gives the numbers as JSON texts.
        const long long line = warning.at(0).toVariant().toLongLong();
        if (line <= 0) return {};
        const bool duplicate = warning.at(1).toVariant().toInt() == ER_DUP_ENTRY;
        warnings.push_back({line, warning.at(2).toString(), duplicate});
    }
    if (warnings.size() != count) return {};
    return warnings;
}

std::unique_ptr<Recordset> MySqlConnection::readResult() {
    MYSQL* handle = handle_.get();
    if (mysql_field_count(handle) == 0) {
        // A statement without a result set: it has run, and its recordset has no fields.
        discardFurtherResults();
        return std::make_unique<Recordset>();
    }
    Result result(mysql_use_result(handle));
    if (!result) throwServerError(DaoError::BadQuery);

    const unsigned int columnCount = mysql_num_fields(result.get());
    const MYSQL_FIELD* fields = mysql_fetch_fields(result.get());
    std::vector<FieldInfo> infos;
    std::vector<ValueForm> forms;
    infos.reserve(columnCount);
    forms.reserve(columnCount);
    for (unsigned int i = 0; i < columnCount; ++i) {
        ColumnShape shape = describeColumn(fields[i]);
        infos.push_back(std::move(shape.info));
        forms.push_back(shape.form);
    }

    auto recordset = std::make_unique<Recordset>(std::move(infos));
    std::vector<Value> row(columnCount);
    while (MYSQL_ROW cells = mysql_fetch_row(result.get())) {
        const unsigned long* lengths = mysql_fetch_lengths(result.get());
        for (unsigned int i = 0; i < columnCount; ++i) {
            row[i] =
                cells[i] == nullptr ? Value::null() : readValue(forms[i], cells[i], lengths[i]);
        }
        recordset->appendRow(row);
    }
    // The rows end early when the connection fails or the server stops the statement.
    if (mysql_errno(handle) != 0) throwServerError(DaoError::BadQuery);
    result.reset();
    discardFurtherResults();
    return recordset;
}

std::unique_ptr<Recordset> MySqlConnection::openRecordset(const QString& sql) {
    sendQuery(sql);
    return readResult();
}

std::unique_ptr<PreparedStatement> MySqlConnection::prepare(const QString& sql) {
    return std::make_unique<MySqlStatement>(requireOpen(), sql);
}

bool MySqlConnection::insertsValueRows() const {
    return handle_ && mysql::insertsValueRows(handle_.get());
}

Connection::InsertedRows MySqlConnection::insertValueRows(const QString& insert,
                                                          const ValueRows& rows) {
    MYSQL* handle = requireOpen();
    if (!rowsStatement_.statement || rowsStatement_.insert != insert) {
        rowsStatement_ = {};
        rowsStatement_.statement = std::make_unique<MySqlStatement>(handle, insert);
        rowsStatement_.insert = insert;
    }
    try {
        return rowsStatement_.statement->executeValueRows(rows);
    } catch (const DaoError&) {
        rowsStatement_ = {};
        throw;
    }
}

bool MySqlConnection::inTransaction() const {
    unsigned int status = 0;
    return handle_ &&
           mariadb_get_infov(handle_.get(), MARIADB_CONNECTION_SERVER_STATUS, &status) == 0 &&
           (status & SERVER_STATUS_IN_TRANS) != 0;
}

std::unique_ptr<Recordset> MySqlConnection::openTableCatalogue() {
    auto catalogue = openRecordset(QStringLiteral("SHOW TABLES"));
    if (catalogue->fieldCount() > 0) catalogue->fieldInfo(0).name = QStringLiteral("TABLE_NAME");
    return catalogue;
}

}  // namespace mysql

}  // namespace keldara::dao
