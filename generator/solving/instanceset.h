#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace keldar::generator {

// One instance file to solve.
struct InstanceTask {
    QString folder; // absolute
    QString name;   // instance_<k>.txt
};

// The instance files the paths name, in file order: a folder stands for its
// instance_<k>.txt, and a file named twice counts once.  The refusal when a
// path is neither an instance file nor a folder holding some, or when two
// names of one folder stand for one number (instance_01.txt and
// instance_1.txt), which rows, rosters and shards could not tell apart.
std::optional<QString> collectInstances(const QStringList &paths, QList<InstanceTask> &tasks);

// The instance_<k>.txt of one folder in file order, or the refusal.
std::optional<QString> instancesIn(const QString &folder, QStringList &names);

} // namespace keldar::generator
