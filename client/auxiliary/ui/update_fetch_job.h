// One load of the update document on a worker thread, so the window stays responsive and can be
// closed while the request runs. The result comes back on the window thread as Finished; the job
// deletes itself afterwards. Destroying the job earlier (its parent goes) waits for the request,
// which its time-out bounds.
#ifndef CLIENT_AUXILIARY_UI_UPDATE_FETCH_JOB_H_
#define CLIENT_AUXILIARY_UI_UPDATE_FETCH_JOB_H_

#include <QByteArray>
#include <QObject>
#include <QString>
#include <string>
#include <thread>

#include "platform/platform.h"

namespace sentrel::client {

class UpdateFetchJob : public QObject {
  Q_OBJECT

 public:
  // Starts at once. `http` must outlive the job; make the job a child of an object that lives
  // longer than the window asking (the main window), so that closing the window does not wait.
  UpdateFetchJob(platform::Http& http, std::u16string address, QObject* parent);
  ~UpdateFetchJob() override;

 signals:
  // `error` is empty when the document was loaded.
  void Finished(const QByteArray& document, const QString& error);

 private:
  std::thread worker_;
};

}  // namespace sentrel::client

#endif  // CLIENT_AUXILIARY_UI_UPDATE_FETCH_JOB_H_
