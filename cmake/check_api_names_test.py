#!/usr/bin/env python3
"""Shows that check_api_names.py fails on every kind of difference: each case
changes a copy of the sources, typings or reference and expects the check to
name what is wrong.

    check_api_names_test.py [--root DIR]
"""
import argparse
import pathlib
import shutil
import sys
import tempfile
import unittest

import check_api_names

ROOT = pathlib.Path(__file__).resolve().parent.parent
COPIED = ["app/plugins", "vellum", "types", "docs"]


class ApiNamesCheck(unittest.TestCase):
    def setUp(self):
        self.temp = tempfile.TemporaryDirectory()
        self.root = pathlib.Path(self.temp.name)
        for part in COPIED:
            shutil.copytree(ROOT / part, self.root / part)

    def tearDown(self):
        self.temp.cleanup()

    def edit(self, relative, old, new):
        path = self.root / relative
        text = path.read_text(encoding="utf-8")
        self.assertIn(old, text, f"{relative} no longer holds the text this test edits")
        path.write_text(text.replace(old, new, 1), encoding="utf-8")

    def problems(self):
        problems, _ = check_api_names.check(self.root)
        return "\n".join(problems)

    def test_the_tree_as_it_is_passes(self):
        self.assertEqual(self.problems(), "")

    def test_a_member_added_to_a_name_table_needs_typings_and_docs(self):
        self.edit("app/plugins/window/window_plugin.cpp", '{-9957, L"onShutdown", &W::OnShutdown},',
                  '{-9957, L"onShutdown", &W::OnShutdown},\n    {-9956, L"flash", &W::Show},')
        found = self.problems()
        self.assertIn("member 'flash' is missing from Ombrel.WindowPlugin in the typings", found)
        self.assertIn("member 'flash' of Ombrel.WindowPlugin is not documented", found)

    def test_a_member_of_an_object_table_is_checked_too(self):
        self.edit("app/plugins/window/msg_dispatch.cpp", '{kUniqueId, L"uniqueID", &CMsgDispatch::UniqueId},',
                  '{kUniqueId, L"uniqueID", &CMsgDispatch::UniqueId},\n    {-9952, L"broadcast", nullptr},')
        self.assertIn("member 'broadcast' is missing from Ombrel.MessageObject", self.problems())

    def test_typings_and_docs_may_not_name_members_that_do_not_exist(self):
        self.edit("types/ombrel.d.ts", "    getItemCount(): number;",
                  "    getItemCount(): number;\n    clearAll(): void;")
        self.edit("docs/menu.md", "### `getItemCount()`", "### `removeAll()`\n\nGone.\n\n### `getItemCount()`")
        found = self.problems()
        self.assertIn("Ombrel.MenuObject names 'clearAll', which CMenuDispatch does not have", found)
        self.assertIn("documents 'removeAll' of Ombrel.MenuObject, which CMenuDispatch does not have", found)

    def test_a_new_plugin_is_found_without_edits_to_the_check(self):
        folder = self.root / "app/plugins/clock"
        folder.mkdir()
        (folder / "clock_plugin.cpp").write_text(
            'OMB_REGISTER_BUILTIN_PLUGIN(L"clock", CClockPlugin, 0);\n'
            "const DispMember<CClockPlugin> kMembers[] = {\n"
            '    {-10000, L"now", &CClockPlugin::Now},\n};\n', encoding="utf-8")
        found = self.problems()
        self.assertIn("plug-in 'clock' is registered but missing from Ombrel.PluginMap", found)
        self.assertIn("plug-in 'clock' has no reference page docs/clock.md", found)

    def test_a_new_object_table_needs_an_owner(self):
        (self.root / "app/plugins/window/badge.cpp").write_text(
            'const DispMember<CBadge> kMembers[] = {\n    {-10000, L"count", &CBadge::Count},\n};\n',
            encoding="utf-8")
        self.assertIn("the name table of CBadge has no owner", self.problems())


if __name__ == "__main__":
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", type=pathlib.Path, default=ROOT)
    args, rest = parser.parse_known_args()
    ROOT = args.root
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
