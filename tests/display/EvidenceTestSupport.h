#pragma once
// The independent reckoning of the mean kinetic temperature for the tests: Python's own math over
// the temperatures, run as a process of its own.
#include <QProcess>
#include <QString>
#include <gtest/gtest.h>
#include <vector>

inline double PythonMkt(const std::vector<double>& temps, double activationK)
{
    QString input;
    for (double t : temps) input += QString::number(t, 'g', 17) + "\n";
    QProcess p;
    p.start("python3", {"-c", QString("import sys,math\n"
                                      "h=%1\n"
                                      "t=[float(x)+273.15 for x in sys.stdin.read().split()]\n"
                                      "print(repr(h/(-math.log(sum(math.exp(-h/x) for x in t)/len(t)))-273.15))\n")
                                  .arg(activationK, 0, 'g', 17)});
    p.write(input.toUtf8());
    p.closeWriteChannel();
    EXPECT_TRUE(p.waitForFinished(30000));
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed().toDouble();
}
