"""Write the type stubs of tavik.tavik_core (with its submodules' ``_core_<name>.pyi``) and of
tavik._arrays from the installed modules, so that no name, parameter or docstring is written
twice.

  python tools/gen_stubs.py           # rewrite the stubs under python/tavik/
  python tools/gen_stubs.py --check   # exit 1, printing a unified diff, where they differ

Names and their order, parameter names and defaults, whether a class has a constructor or
can be subclassed, and every docstring come from the module; annotations, notes beyond the
runtime docstrings and each stub's own text come from tools/stub_sources.py. Run it after
installing the checkout (``pip install '.[test]'``): the stubs describe the installed module.
"""

import argparse
import difflib
import importlib
import inspect
import sys
import types
from pathlib import Path
from typing import Any

import stub_sources as src

ROOT = Path(__file__).resolve().parent.parent
WIDTH = 120
HEADER = "# Written by tools/gen_stubs.py from the installed module and tools/stub_sources.py: edit those.\n"
# A type without this flag cannot be subclassed: its stub class is @final.
Py_TPFLAGS_BASETYPE = 1 << 10


class SourceError(Exception):
    """The module and tools/stub_sources.py disagree: the stubs would be wrong or incomplete."""


def runtime_modules() -> dict[str, types.ModuleType]:
    """Every module that has a stub, keyed as in stub_sources (the name a user writes)."""
    core = importlib.import_module("tavik.tavik_core")
    modules = {"tavik_core": core}
    for name in core.__all__:
        if isinstance(attribute := getattr(core, name), types.ModuleType):
            modules[f"tavik_core.{name}"] = attribute
    modules["_arrays"] = importlib.import_module("tavik._arrays")
    return modules


def docstring(text: str, indent: str) -> list[str]:
    if not text:
        return []
    text = text.replace("\\", "\\\\").replace('"""', '\\"\\"\\"')
    if text.endswith('"'):
        text = text[:-1] + '\\"'
    lines = text.split("\n")
    if len(lines) == 1:
        return [f'{indent}"""{text}"""']
    return [f'{indent}"""{lines[0]}', *(f"{indent}{line}" if line else "" for line in lines[1:]), f'{indent}"""']


def define(indent: str, name: str, parameters: list[str], returns: str, body: list[str]) -> list[str]:
    """A def with the given docstring lines, or ``...`` without; wrapped the way black wraps."""
    end = f") -> {returns}:" + ("" if body else " ...")
    one_line = f"{indent}def {name}({', '.join(parameters)}{end}"
    if len(one_line) <= WIDTH:
        head = [one_line]
    elif len(middle := f"{indent}    {', '.join(parameters)}") <= WIDTH:
        head = [f"{indent}def {name}(", middle, f"{indent}{end}"]
    else:
        head = [f"{indent}def {name}(", *(f"{indent}    {p}," for p in parameters), f"{indent}{end}"]
    return head + body


def default(value: Any) -> str:
    return repr(value) if value is None or isinstance(value, (bool, int, float, str)) else "..."


class Stub:
    """One stub file: renders the module's names with the annotations and notes of its key."""

    def __init__(self, key: str, module: types.ModuleType) -> None:
        self.key = key
        self.module = module
        self.source = src.MODULES[key]
        self.types = src.TYPES.get(key, {})
        self.notes = src.NOTES.get(key, {})
        self.typed: set[str] = set()
        self.noted: set[str] = set()

    def fail(self, qualname: str, problem: str) -> SourceError:
        return SourceError(f"{self.key}.{qualname}: {problem}")

    def annotation(self, qualname: str) -> src.Annotation:
        if qualname not in self.types:
            raise self.fail(qualname, "no annotation in TYPES of tools/stub_sources.py")
        self.typed.add(qualname)
        return self.types[qualname]

    def doc(self, qualname: str, runtime: str | None, indent: str) -> list[str]:
        """The runtime docstring with the notes of stub_sources applied."""
        text = (runtime or "").strip()
        notes = self.notes.get(qualname, [])
        self.noted.add(qualname)
        for note in notes if isinstance(notes, list) else [notes]:
            if isinstance(note, tuple):
                old, new = note
                if text.count(old) != 1:
                    raise self.fail(qualname, f"the runtime docstring no longer says {old!r}: revisit its note")
                text = text.replace(old, new)
            else:
                text = f"{text}\n\n{note.strip()}" if text else note.strip()
        return docstring(text, indent)

    def parameters(self, qualname: str, obj: Any, first: str | None) -> tuple[list[str], str]:
        """Annotated parameters from the text signature (``first`` is self or cls) and the return."""
        runtime = list(inspect.signature(obj).parameters.values())
        if first == "self":
            runtime = runtime[1:]
        # A constructor without parameters needs no entry: it returns Self.
        annotation = src.sig() if first == "cls" and not runtime and qualname not in self.types else self.annotation(qualname)
        if not isinstance(annotation, src.Sig):
            raise self.fail(qualname, "a callable needs sig(...) in TYPES")
        names = [p.name for p in runtime]
        if sorted(names) != sorted(annotation.parameters):
            raise self.fail(qualname, f"the module's parameters are {names}; TYPES annotates {list(annotation.parameters)}")
        rendered = [first] if first else []
        starred = False
        for p, following in zip(runtime, runtime[1:] + [None]):
            star = {p.VAR_POSITIONAL: "*", p.VAR_KEYWORD: "**"}.get(p.kind, "")
            if p.kind == p.KEYWORD_ONLY and not starred:
                rendered.append("*")
            starred = starred or p.kind in (p.VAR_POSITIONAL, p.KEYWORD_ONLY)
            piece = f"{star}{p.name}: {annotation.parameters[p.name]}"
            if p.default is not p.empty:
                piece += f" = {default(p.default)}"
            rendered.append(piece)
            if p.kind == p.POSITIONAL_ONLY and (following is None or following.kind != p.POSITIONAL_ONLY):
                rendered.append("/")
        return rendered, annotation.returns

    def function(self, qualname: str, obj: Any, indent: str, first: str | None) -> list[str]:
        parameters, returns = self.parameters(qualname, obj, first)
        return define(indent, qualname.rpartition(".")[2], parameters, returns, self.doc(qualname, obj.__doc__, indent + "    "))

    def attribute(self, qualname: str, descriptor: Any) -> list[list[str]]:
        name = qualname.rpartition(".")[2]
        annotation = self.annotation(qualname)
        body = self.doc(qualname, descriptor.__doc__, "        ")
        if isinstance(annotation, src.Settable) and annotation.accepts is None:
            return [[f"    {name}: {annotation.type}", *(line[4:] for line in body)]]
        getter_type = annotation.type if isinstance(annotation, src.Settable) else annotation
        chunks = [["    @property", *define("    ", name, ["self"], getter_type, body)]]
        if isinstance(annotation, src.Settable):
            chunks.append([f"    @{name}.setter", f"    def {name}(self, value: {annotation.accepts}, /) -> None: ..."])
        return chunks

    def constructor(self, name: str, cls: type) -> list[str]:
        if cls.__text_signature__ is not None:
            parameters, returns = self.parameters(name, cls, "cls")
            return define("    ", "__new__", parameters, returns, [])
        # The stub will forbid every call, so make sure the module does too.
        try:
            cls()
        except TypeError:
            pass
        else:
            raise self.fail(name, "has no text signature yet constructs: give it one")
        if name in self.types:
            raise self.fail(name, "has no constructor, so TYPES must not annotate one")
        # Never: a type checker flags every call, as the module refuses every call.
        return ["    def __new__(cls, no_constructor: Never, /) -> Self: ..."]

    def klass(self, name: str, cls: type) -> list[str]:
        lines = [] if cls.__flags__ & Py_TPFLAGS_BASETYPE else ["@final"]
        lines.append(f"class {name}:")
        doc = self.doc(name, cls.__doc__, "    ")
        chunks = [doc] if doc else []
        chunks.append(self.constructor(name, cls))
        for member, value in vars(cls).items():
            if member.startswith("_"):
                continue
            qualname = f"{name}.{member}"
            if isinstance(value, (types.GetSetDescriptorType, types.MemberDescriptorType)):
                chunks += self.attribute(qualname, value)
            elif isinstance(value, types.MethodDescriptorType):
                chunks.append(self.function(qualname, value, "    ", "self"))
            else:
                raise self.fail(qualname, f"no stub for a {type(value).__name__}")
        return lines + join(chunks)

    def render(self, submodules: dict[str, str]) -> str:
        """The stub's text; ``submodules`` maps a module-valued name to its stub module."""
        names = list(self.module.__all__)
        lines = [*docstring(self.module_doc(), ""), ""]
        lines += [self.source.imports.rstrip("\n"), ""]
        if imported := sorted((submodules[n], n) for n in names if isinstance(getattr(self.module, n), types.ModuleType)):
            lines += ["from . import " + ", ".join(f"{stub} as {name}" for stub, name in imported), ""]
        one_line = "__all__ = [" + ", ".join(f'"{n}"' for n in names) + "]"
        lines += [one_line] if len(one_line) <= WIDTH else ["__all__ = [", *(f'    "{n}",' for n in names), "]"]
        lines.append("")
        if self.source.definitions:
            lines += [self.source.definitions.rstrip("\n"), ""]
        for name in names:
            value = getattr(self.module, name)
            if isinstance(value, types.ModuleType):
                continue
            if isinstance(value, type):
                lines += self.klass(name, value)
            elif isinstance(value, types.BuiltinFunctionType):
                lines += self.function(name, value, "", None)
            else:
                raise self.fail(name, f"no stub for a {type(value).__name__}")
            lines.append("")
        stale = (set(self.types) - self.typed) | (set(self.notes) - self.noted)
        if stale:
            raise SourceError(f"{self.key}: tools/stub_sources.py names what the module lacks: {sorted(stale)}")
        return HEADER + "\n".join(lines).rstrip("\n") + "\n"

    def module_doc(self) -> str:
        runtime = (self.module.__doc__ or "").strip()
        own = self.source.doc.strip()
        return f"{runtime}\n\n{own}" if runtime else own


def join(chunks: list[list[str]]) -> list[str]:
    """Chunks in order, a blank line after each that ends in a docstring (black's stub style)."""
    lines: list[str] = []
    for chunk in chunks:
        if lines and lines[-1].endswith('"""'):
            lines.append("")
        lines += chunk
    return lines


def generate() -> dict[Path, str]:
    modules = runtime_modules()
    if set(modules) != set(src.MODULES):
        raise SourceError(f"modules with stubs: {sorted(modules)}; tools/stub_sources.py describes {sorted(src.MODULES)}")
    submodules = {key.rpartition(".")[2]: Path(src.MODULES[key].path).stem for key in modules if key.startswith("tavik_core.")}
    return {ROOT / src.MODULES[key].path: Stub(key, module).render(submodules) for key, module in modules.items()}


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--check", action="store_true", help="compare with the committed stubs instead of writing them")
    check = parser.parse_args().check
    try:
        stubs = generate()
    except SourceError as error:
        print(f"gen_stubs.py: {error}", file=sys.stderr)
        return 2
    differ = []
    for path, text in stubs.items():
        committed = path.read_text(encoding="utf-8") if path.exists() else ""
        if committed == text:
            continue
        differ.append(path.relative_to(ROOT))
        if check:
            name = str(path.relative_to(ROOT))
            sys.stdout.writelines(
                difflib.unified_diff(committed.splitlines(True), text.splitlines(True), f"{name} (committed)", f"{name} (generated)")
            )
        else:
            path.write_text(text, encoding="utf-8")
    if check and differ:
        print(
            f"gen_stubs.py: {len(differ)} stub(s) differ from what the installed module gives: "
            "run `python tools/gen_stubs.py` and commit the result",
            file=sys.stderr,
        )
        return 1
    if not check:
        print(f"gen_stubs.py: {len(differ)} of {len(stubs)} stubs rewritten")
    return 0


if __name__ == "__main__":
    sys.exit(main())
