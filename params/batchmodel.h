#pragma once

#include "params/parameterset.h"

namespace keldar {

// What the program knows of its batches beyond any window: the parameter
// set, with the numbering of the files and the seed.  The program owns it
// for the whole run; windows come and go around it and reach it by
// reference, so a fresh main window finds what the last batch left.
class BatchModel
{
public:
    ParameterSet &parameters() { return m_parameters; }
    const ParameterSet &parameters() const { return m_parameters; }

    // A main window has been loaded: the seed starts again from the default,
    // while every other value (the file numbering above all) carries over.
    void mainWindowLoaded() { m_parameters.seed = DefaultSeed; }

    // The first file number to propose for the next batch: where the last
    // batch ended, or 1 before the first.
    double nextFirstFile() const
    {
        const double next =
            double(m_parameters.startsolution) + m_parameters.numberOfFilesGenerated;
        return next == 0 ? 1 : next;
    }

    // The two batch values, once both have been accepted.
    void setBatch(double numberOfFiles, qint16 firstFile)
    {
        m_parameters.numberOfFilesGenerated = numberOfFiles;
        m_parameters.startsolution = firstFile;
    }

private:
    ParameterSet m_parameters;
};

} // namespace keldar
