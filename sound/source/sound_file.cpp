// Sound files as the intro reads them: see sound_file.h.
#include "sound/sound_file.h"

void SoundFileClose::operator()(SNDFILE *file) const
{
	sf_close(file);
}

SoundFile OpenSoundFile(const std::string &path)
{
	SoundFile sound;
	sound.file = InputFile(path);
	if(!sound.file.IsOpen())
		sound.error = "System error : " + sound.file.Error() + ".";
	else if(!sound.file.IsRegular())
		sound.error = "not a regular file";
	else
	{
		sound.reader.reset(sf_open_fd(sound.file.Descriptor(), SFM_READ, &sound.info, SF_FALSE));
		if(!sound.reader)
			sound.error = sf_strerror(nullptr);
	}
	return sound;
}
