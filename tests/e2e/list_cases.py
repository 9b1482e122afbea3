"""Prints every end-to-end test case as module.Class.method, one a line,
read from the test files' syntax (nothing is imported or run), so CMake can
give each case its own ctest entry. With --i686, the cases that run on the
i686 build (marked @i686 or @i686_only); without, all but the @i686_only
ones."""
import ast
import sys
from pathlib import Path


def marks(function):
    return {d.id for d in function.decorator_list if isinstance(d, ast.Name)}


def cases(folder, i686):
    for path in sorted(Path(folder).glob("test_*.py")):
        for node in ast.parse(path.read_text(), str(path)).body:
            if not isinstance(node, ast.ClassDef):
                continue
            for item in node.body:
                if not (isinstance(item, ast.FunctionDef) and item.name.startswith("test")):
                    continue
                mark = marks(item)
                if (mark & {"i686", "i686_only"}) if i686 else "i686_only" not in mark:
                    yield f"{path.stem}.{node.name}.{item.name}"


if __name__ == "__main__":
    for case in cases(sys.argv[1], "--i686" in sys.argv[2:]):
        print(case)
