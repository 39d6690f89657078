#pragma once
// Which part of an opened file to show when it holds several: a session of a
// multi-session image, a partition of a hard-disk image, an image of a WIM
// file. The question is one record of rows, asked through the prompt kind of
// the chooser, so the window shows its dialog and the console a numbered
// question on the terminal; a question cancelled refuses the open cleanly.

#include <cstdint>
#include <string>
#include <vector>

#include "filesystems/disk/partition_table.h"

namespace image {
struct TrackList;
}

namespace app {

struct ChooserQuestion {
    std::u16string caption;                          // "Import Session", "Import Partition", "Import Image"
    std::vector<std::u16string> columns;             // column titles
    std::vector<int> columnPercents;                 // of the list's width
    std::vector<std::vector<std::u16string>> rows;   // one cell per column
    int selected = 0;                                // the row chosen unless the user picks another
};

ChooserQuestion WimImageQuestion(int32_t imageCount);
ChooserQuestion PartitionQuestion(const std::vector<filesystems::DiskPartitionRow>& rows);
ChooserQuestion SessionQuestion(const image::TrackList& list);

// The question as the console shows it: the caption, then "n. cell  cell"
// lines numbered from 1.
std::u16string ChooserQuestionText(const ChooserQuestion& question);

// The chosen row, -1 when cancelled or when there is nothing to choose from
// (then nothing is asked).
int AskChooserQuestion(const ChooserQuestion& question);

// Installs the session, partition and WIM image choosers of the program.
void InstallPartChoosers();
void RemovePartChoosers();

}  // namespace app
