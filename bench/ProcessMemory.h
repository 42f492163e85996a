#pragma once

// This process's memory as the kernel counts it, for the benches that print memory figures.
#include <QByteArray>
#include <QFile>

// A field of /proc/self/status in kB ("VmRSS:", "VmHWM:", "RssAnon:"); -1 when unreadable.
inline long StatusKb(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(static_cast<int>(qstrlen(field))).trimmed().split(' ').first().toLong();
    return -1;
}

// Lets VmHWM measure what follows alone: writing 5 to clear_refs resets the peak to the size now.
inline void ResetPeakMemory() {
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    if (clearRefs.open(QIODevice::WriteOnly))
        clearRefs.write("5");
}
