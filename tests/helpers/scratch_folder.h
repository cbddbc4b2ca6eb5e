// A folder of its own for one test.
#ifndef TESTS_SCRATCH_FOLDER_H
#define TESTS_SCRATCH_FOLDER_H

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

// Makes /tmp/NAME-XXXXXX on construction and removes it, with all it holds,
// on destruction; path is empty where the folder could not be made.
class ScratchFolder
{
public:
	explicit ScratchFolder(const std::string &name)
	{
		std::string pattern = "/tmp/" + name + "-XXXXXX";
		if(mkdtemp(pattern.data()))
			path = pattern;
	}
	~ScratchFolder()
	{
		std::error_code ignored;
		if(!path.empty())
			std::filesystem::remove_all(path, ignored);
	}
	ScratchFolder(const ScratchFolder &) = delete;
	ScratchFolder &operator=(const ScratchFolder &) = delete;

	std::filesystem::path path;
};

#endif
