#pragma once

#include <QString>
#include <stdexcept>

namespace keldara::dao {

// The one error type of the data-access layer: a number, a description that names the
// file or server and the reason, and the backend's own code where there is one.
class DaoError : public std::runtime_error {
  public:
    // Numbers of the layer's own errors; backends add theirs as nativeCode.
    enum Number : int {
        General = -2147467259,      // unspecified failure
        NotOpen = 3704,             // operation not allowed when the object is closed
        NoCurrentRecord = 3021,     // BOF or EOF is True
        OpenFailed = -2147217843,   // cannot open the data source
        BadQuery = -2147217900,     // statement rejected
        ProviderNotFound = 3706,    // provider cannot be found
        NoSuchTable = -2147217865,  // table not found
        BadFile = -2147467259 + 1,  // file unreadable or damaged
    };

    // What a caller can do about a failed statement: it was refused (sending it again gives
    // the same answer); the connection was lost while it was under way, so the server may or
    // may not have carried it out; or the server undid it for reasons of its own (a deadlock,
    // a lock wait timeout, a cluster node not ready), so the same transaction sent again may
    // pass.
    enum class Category { Refused, ConnectionLost, RetryTransaction };

    DaoError(int number, const QString& description, int nativeCode = 0,
             Category category = Category::Refused)
        : std::runtime_error(description.toStdString()),
          number_(number),
          description_(description),
          nativeCode_(nativeCode),
          category_(category) {}

    int number() const { return number_; }
    const QString& description() const { return description_; }
    int nativeCode() const { return nativeCode_; }
    Category category() const { return category_; }
    bool connectionLost() const { return category_ == Category::ConnectionLost; }
    // Lost or undone: worth a reconnect or another try, unlike a refusal.
    bool transient() const { return category_ != Category::Refused; }

  private:
    int number_;
    QString description_;
    int nativeCode_;
    Category category_;
};

}  // namespace keldara::dao
