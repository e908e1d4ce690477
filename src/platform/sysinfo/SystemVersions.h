#pragma once

#include <QString>
#include <QStringList>

// The versions of the platform components the program depends on, probed
// once at start-up before any window exists. A probe that finds nothing
// leaves its fields at 0.
struct SystemVersions
{
    qint32 OSMajor = 0;
    qint32 OSMinor = 0;
    qint32 ExcelVersion = 0;
    qint32 ADOMajor = 0;
    qint32 ADOMinor = 0;
    qint32 OutlookISAM = 0;
    qint32 ExcelISAM = 0;
    qint32 CDOVersion = 0;
    qint32 IEMajor = 0;
    qint32 IEMinor = 0;
};

// A copy of the record filled at start-up.
SystemVersions GetSystemVersions();

// Fills the record from this machine; called once by the start-up routine.
void ProbeSystemVersions();

// For tests and for the start-up routine's own checks: sets the record.
void SetSystemVersions(const SystemVersions& versions);
