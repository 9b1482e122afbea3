"""Prints every end-to-end test case as module.Class.method, one a line,
read from the test files' syntax (nothing is imported or run), so CMake can
give each case its own ctest entry."""
import ast
import sys
from pathlib import Path

for path in sorted(Path(sys.argv[1]).glob("test_*.py")):
    for node in ast.parse(path.read_text(), str(path)).body:
        if isinstance(node, ast.ClassDef):
            for item in node.body:
                if isinstance(item, ast.FunctionDef) and item.name.startswith("test"):
                    print(f"{path.stem}.{node.name}.{item.name}")
