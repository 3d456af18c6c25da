#include "client/auxiliary/ui/update_fetch_job.h"

#include "client/auxiliary/update_fetch.h"
#include "client/ui/qt_text.h"

namespace sentrel::client {

UpdateFetchJob::UpdateFetchJob(platform::Http& http, std::u16string address, QObject* parent)
    : QObject(parent) {
  worker_ = std::thread([this, &http, address = std::move(address)] {
    const UpdateFetch fetch = FetchUpdateDocument(http, address);
    const QByteArray document(fetch.document.data(), static_cast<qsizetype>(fetch.document.size()));
    const QString error = fetch.loaded ? QString() : ToQString(fetch.error);
    // Runs on the job's (the window) thread; dropped if the job is destroyed first.
    QMetaObject::invokeMethod(
        this,
        [this, document, error] {
          emit Finished(document, error);
          deleteLater();
        },
        Qt::QueuedConnection);
  });
}

UpdateFetchJob::~UpdateFetchJob() {
  if (worker_.joinable()) worker_.join();
}

}  // namespace sentrel::client
