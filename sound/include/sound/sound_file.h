// Sound files as the intro reads them: only a regular file, opened once
// without waiting, its header read by libsndfile from that descriptor.
#ifndef SOUND_SOUND_FILE_H
#define SOUND_SOUND_FILE_H

#include <sndfile.h>

#include <memory>
#include <string>

#include "files/open_input.h"
#include "report/error.h"

// Releases the sound file reader's handle through its library.
struct SoundFileClose
{
	void operator()(SNDFILE *file) const;
};

// A sound file as OpenSoundFile left it. The reader reads through file's
// descriptor without owning it; members go in reverse order, the reader
// first.
struct SoundFile
{
	InputFile file;
	std::unique_ptr<SNDFILE, SoundFileClose> reader;  // empty when error is set
	SF_INFO info = {};                                // the header as the reader found it
	Error error;                                      // why it cannot be read; empty when it can
};

// Opens the sound file at path and reads its header. The file is opened with
// InputFile, so a FIFO or a device never blocks; the error is then "not a
// regular file". A file that does not open gives the system's reason in the
// reader's words ("System error : No such file or directory."), a header the
// reader refuses its reason ("Format not recognised.", "Channel count is
// zero.").
SoundFile OpenSoundFile(const std::string &path);

// The line for a WAV file cut short, one that holds less than its header
// promises (a data chunk larger than the bytes after its start): "PATH holds
// 67.5 s of the 135.0 s its header promises", with more decimals where one
// would make both read the same. "" when the file holds all that its data
// chunk promises, when the header leaves the length open (a data size of 0
// or 0xFFFFFFFF, as writers that stream leave it), and for a file that is
// not a RIFF WAVE file with a format chunk before its data. The header is
// read through file's descriptor without moving its offset.
std::string SoundFileShortfall(const std::string &path, const InputFile &file);

#endif
