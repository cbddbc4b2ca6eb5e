"""File helpers that the scripts, the benchmarks and the tests share."""

import os


def replace_file(path, content, modified=None):
    """Gives path new content at once, as an editor that saves atomically
    does, so that the intro never reads half a file; modified, when given, is
    the file's modification time in seconds since the epoch."""
    temporary = path + ".new"
    with open(temporary, "wb" if isinstance(content, bytes) else "w") as f:
        f.write(content)
    if modified is not None:
        os.utime(temporary, (modified, modified))
    os.replace(temporary, path)
