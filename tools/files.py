"""File helpers that the scripts, the benchmarks and the tests share."""

import os


def replace_file(path, content):
    """Gives path new content at once, as an editor that saves atomically
    does, so that the intro never reads half a file."""
    temporary = path + ".new"
    with open(temporary, "wb" if isinstance(content, bytes) else "w") as f:
        f.write(content)
    os.replace(temporary, path)
