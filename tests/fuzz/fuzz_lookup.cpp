// Fuzzes the data-file lookup, Framework::FindFileOrThrow, with arbitrary
// names in a scratch tree: ROOT/work is the working directory, with
// ROOT/work/data and ROOT/data beside it holding a few files, a directory, a
// link to a file, a dangling link and a FIFO (which must never be opened).
// Each input runs in ROOT/work and returns to the starting directory after,
// so that libFuzzer's relative corpus and artifact paths keep working.
//
// Input layout: the name, byte by byte, except that 0xF0-0xFE insert one of
// the pieces below and 0xFF N appends the name built so far N % 16 + 1 more
// times (up to 8192 bytes), for long names.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "framework/framework.h"

namespace
{
	namespace fs = std::filesystem;

	const char *const kPieces[] = {"intro.frag", "both.txt",  "parent.vert", "sub",  "inner.txt",
	                               "dironly",    "link.frag", "dangling",    "fifo", "..",
	                               "data",       "/",         "../",         "./",   "top.txt"};
	const size_t kMaxName = 8192;

	fs::path root;
	int startDirectory = -1;
	int workDirectory = -1;

	void RemoveScratchTree()
	{
		std::error_code error;
		fs::remove_all(root, error);
	}

	int OpenDirectory(const char *path)
	{
		const int fd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
		if(fd < 0)
		{
			std::perror(path);
			std::exit(1);
		}
		return fd;
	}

	void Enter(int directory)
	{
		if(fchdir(directory) != 0)
		{
			std::perror("fuzz_lookup: fchdir");
			std::abort();
		}
	}

	void WriteFile(const fs::path &path)
	{
		std::ofstream(path) << "text\n";
	}

	std::string Name(const uint8_t *data, size_t size)
	{
		std::string name;
		for(size_t i = 0; i < size && name.size() < kMaxName; ++i)
		{
			if(data[i] >= 0xF0 && data[i] < 0xFF)
				name += kPieces[data[i] - 0xF0];
			else if(data[i] == 0xFF && i + 1 < size)
			{
				const std::string part = name;
				for(int copy = data[++i] % 16 + 1; copy > 0 && name.size() < kMaxName; --copy)
					name += part;
			}
			else if(data[i] != 0xFF)
				name += static_cast<char>(data[i]);
		}
		return name.substr(0, kMaxName);
	}

	// Whether path, taken whole, names a regular file (after links). A name
	// with a NUL in it cannot name any file.
	bool NamesRegularFile(const std::string &path)
	{
		struct stat info;
		return path.find('\0') == std::string::npos && stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
	}

	[[noreturn]] void Fail(const char *what, const std::string &name, const std::string &detail)
	{
		std::string printable;
		for(unsigned char c : name.substr(0, 200))
		{
			char escaped[8];
			std::snprintf(escaped, sizeof escaped, c >= 0x20 && c < 0x7F ? "%c" : "\\x%02x", c);
			printable += escaped;
		}
		std::fprintf(stderr, "fuzz_lookup: %s\n  name (%zu bytes): \"%s\"\n  %s\n", what, name.size(),
		             printable.c_str(), detail.c_str());
		Enter(startDirectory);
		std::abort();
	}
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
	const char *tmp = std::getenv("TMPDIR");
	std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/fuzz-lookup-XXXXXX";
	const char *made = mkdtemp(pattern.data());
	if(made == nullptr)
	{
		std::perror("fuzz_lookup: mkdtemp");
		std::exit(1);
	}
	root = made;
	fs::create_directories(root / "work" / "data" / "sub");
	fs::create_directories(root / "work" / "data" / "dironly");
	fs::create_directories(root / "data" / "sub");
	WriteFile(root / "work" / "data" / "intro.frag");
	WriteFile(root / "work" / "data" / "both.txt");
	WriteFile(root / "data" / "both.txt");
	WriteFile(root / "data" / "parent.vert");
	WriteFile(root / "data" / "sub" / "inner.txt");
	WriteFile(root / "data" / "dironly");
	WriteFile(root / "top.txt");
	fs::create_symlink("intro.frag", root / "work" / "data" / "link.frag");
	fs::create_symlink("nowhere", root / "work" / "data" / "dangling");
	if(mkfifo((root / "work" / "data" / "fifo").c_str(), 0600) != 0)
	{
		std::perror("fuzz_lookup: mkfifo");
		std::exit(1);
	}
	startDirectory = OpenDirectory(".");
	workDirectory = OpenDirectory((root / "work").c_str());
	std::atexit(RemoveScratchTree);
	return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	const std::string name = Name(data, size);
	const std::string local = "data/" + name;
	const std::string parent = "../data/" + name;
	std::string found;
	Enter(workDirectory);
	try
	{
		found = Framework::FindFileOrThrow(name);
	}
	catch(const std::runtime_error &e)
	{
		// what() is a C string, so it can only hold the message up to a NUL.
		const std::string expected = "Could not find the file " + name;
		if(std::strcmp(e.what(), expected.c_str()) != 0)
			Fail("the error message is not \"Could not find the file \" + name", name,
			     std::string("what(): ") + e.what());
		if(NamesRegularFile(local) || NamesRegularFile(parent))
			Fail("a file that exists was not found", name, "");
		Enter(startDirectory);
		return 0;
	}
	if(found == local)
	{
		if(!NamesRegularFile(local))
			Fail("the returned path names no regular file", name, "returned data/ + name");
	}
	else if(found == parent)
	{
		if(!NamesRegularFile(parent))
			Fail("the returned path names no regular file", name, "returned ../data/ + name");
		if(NamesRegularFile(local))
			Fail("../data/ was chosen over an existing data/ file", name, "");
	}
	else
		Fail("the returned path is neither data/ + name nor ../data/ + name", name, "returned " + found);
	Enter(startDirectory);
	return 0;
}
