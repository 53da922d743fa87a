// A style plugin that leaves a trace, for privileges_test.sh: whatever code
// a user puts on the toolkit's plugin paths runs inside the console, so the
// test puts this one there and reads what it found. When loaded and when
// asked for its style (key "quillettrace", chosen by QT_STYLE_OVERRIDE), it
// appends the capability lines of /proc/self/status, "Cap...:" and
// "NoNewPrivs:", to the file named by QUILLET_TRACE_FILE. The style it
// gives is Fusion.
#include <QStyleFactory>
#include <QStylePlugin>

#include <cstdlib>
#include <fstream>
#include <string>

namespace {

void WriteTrace(const char* when) {
    const char* path = std::getenv("QUILLET_TRACE_FILE");
    if (path == nullptr || *path == '\0') return;
    std::ofstream trace(path, std::ios::app);
    trace << "when: " << when << "\n";
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Cap", 0) == 0 || line.rfind("NoNewPrivs:", 0) == 0) trace << line << "\n";
    }
}

// Runs as soon as the library is loaded, before any of its classes is used.
const bool tracedAtLoad = (WriteTrace("load"), true);

}  // namespace

class TraceStylePlugin : public QStylePlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QStyleFactoryInterface_iid FILE "trace_style_plugin.json")
public:
    QStyle* create(const QString& key) override {
        if (key.compare(QStringLiteral("quillettrace"), Qt::CaseInsensitive) != 0) return nullptr;
        WriteTrace("create");
        return QStyleFactory::create(QStringLiteral("Fusion"));
    }
};

#include "trace_style_plugin.moc"
