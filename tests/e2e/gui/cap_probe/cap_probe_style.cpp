// SPDX-License-Identifier: MIT
// A Qt style plugin as a user of the desktop program could put in its way: loaded from
// QT_PLUGIN_PATH when QT_STYLE_OVERRIDE names "capprobe", it writes the CapEff line of the
// process that loaded it to the file CORVEL_CAP_PROBE names, then hands over to Fusion. The
// privilege test expects the desktop program to have no capability to give it.
#include <QFile>
#include <QStyleFactory>
#include <QStylePlugin>

class CapProbeStyle : public QStylePlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QStyleFactoryInterface_iid FILE "cap_probe_style.json")

public:
    QStyle* create(const QString& key) override {
        if (key.compare(QStringLiteral("capprobe"), Qt::CaseInsensitive) != 0) return nullptr;
        QFile status(QStringLiteral("/proc/self/status"));
        QFile out(qEnvironmentVariable("CORVEL_CAP_PROBE"));
        if (status.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly | QIODevice::Append)) {
            for (const QByteArray& line : status.readAll().split('\n'))
                if (line.startsWith("CapEff:")) out.write(line + '\n');
        }
        return QStyleFactory::create(QStringLiteral("Fusion"));
    }
};

#include "cap_probe_style.moc"
