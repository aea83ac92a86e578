#include "ServicesTestSupport.h"

#include "app/AppTestSupport.h"
#include "app/Logging.h"
#include "app/SafeApplication.h"
#include "app/Startup.h"

#include <QDesktopServices>

#include <gtest/gtest.h>

#include <memory>

namespace Quorvex3::testing {

namespace {

class ServicesApplication : public ::testing::Environment {
public:
    void SetUp() override {
        test::isolateHomeDirectories();
        Logging::install();
        m_app = std::make_unique<SafeApplication>(test::applicationArgc(), test::applicationArgv());
        resetNumericLocale();
        setApplicationIdentity();
    }
    void TearDown() override { m_app.reset(); }

private:
    std::unique_ptr<SafeApplication> m_app;
};

} // namespace

void installServicesTestApplication() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::AddGlobalTestEnvironment(new ServicesApplication);
}

ServiceEndpoints loopbackEndpoints(const LoopbackServer& server, int timeoutMs) {
    ServiceEndpoints endpoints;
    endpoints.updateServer = server.origin();
    endpoints.feedbackServer = server.origin();
    endpoints.feedbackKeyTable = encodeAccessKey(kTestAccessKey);
    endpoints.updateTimeoutMs = timeoutMs;
    endpoints.feedbackTimeoutMs = timeoutMs;
    return endpoints;
}

UrlRecorder::UrlRecorder(const QStringList& schemes) : m_schemes(schemes) {
    for (const QString& scheme : m_schemes)
        QDesktopServices::setUrlHandler(scheme, this, "openUrl");
}

UrlRecorder::~UrlRecorder() {
    for (const QString& scheme : m_schemes)
        QDesktopServices::unsetUrlHandler(scheme);
}

} // namespace Quorvex3::testing
