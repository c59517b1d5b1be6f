// The asynchronous members of "file": copyAsync and moveAsync report through
// success/fail with the caller's context, a start that cannot begin calls
// fail before the call returns, and enumFiles walks folders on a worker.
// (Progress is not checked here: the platform copy calls never report it
// under Wine.)
var t = window.external.test;
var f = window.external.file;
var finished = false;

function finish() {
  if (finished) return;
  finished = true;
  f.deleteFile('work');
  t.done();
}
setTimeout(function () { t.ok(false, 'all steps finished in time'); finish(); }, 40000);

// Runs the steps one after another; each gets next() to call when done.
var steps = [];
function next() {
  var step = steps.shift();
  if (!step) { finish(); return; }
  step();
}

// options + callbacks that record what happened, then check(result) runs.
function transfer(member, options, check) {
  var ctx = { name: member };
  var seen = { success: 0, fail: [], progress: 0, ctx: [] };
  options.context = ctx;
  options.progress = function (done, total, c) { seen.progress++; return true; };
  options.success = function (c) { seen.success++; seen.ctx.push(c === ctx); check(seen); next(); };
  options.fail = function (hr, c) { seen.fail.push(hr); seen.ctx.push(c === ctx); check(seen); next(); };
  return f[member](options);
}

f.deleteFile('work');
f.mkDir('work');
f.mkDir('work\\src');
f.mkDir('work\\src\\sub');
f.copy('index.html', 'work\\src\\one.txt');
f.copy('async.js', 'work\\src\\sub\\two.txt');

steps.push(function () {
  var failed = [];
  var ctx = 'start';
  var started = f.copyAsync({ destPath: 'work\\x', context: ctx,
                              fail: function (hr, c) { failed.push(hr, c); } });
  t.equal(started, false, 'copyAsync without srcPath returns false');
  t.equal(failed.join(','), '-2147024809,start', 'fail(E_INVALIDARG, context) ran before the return');
  started = f.moveAsync({ srcPath: 'work\\src', destPath: '', fail: function (hr) { failed.push(hr); } });
  t.equal(started, false, 'moveAsync with an empty destPath returns false');
  t.equal(failed.length, 3, 'and called fail too');
  next();
});

steps.push(function () {
  var started = transfer('copyAsync', { srcPath: 'work\\missing', destPath: 'work\\x' }, function (seen) {
    t.equal(seen.fail.join(), '-2147024894', 'a missing source fails with file-not-found');
    t.equal(seen.ctx.join(), 'true', 'fail got the context');
  });
  t.equal(started, true, 'a missing source still starts the job');
});

steps.push(function () {
  transfer('copyAsync', { srcPath: 'work\\src', destPath: 'work\\copy' }, function (seen) {
    t.equal(seen.success, 1, 'a folder copy succeeds');
    t.equal(seen.ctx.join(), 'true', 'success got the context');
    t.equal(f.getSize('work\\copy\\sub\\two.txt'), f.getSize('async.js'), 'nested file copied');
    t.equal(f.isFileExist('work\\src\\one.txt'), true, 'the source stays');
  });
});

steps.push(function () {
  transfer('copyAsync', { srcPath: 'work\\src\\one.txt', destPath: 'work\\copy\\one.txt' }, function (seen) {
    t.equal(seen.fail.join(), '-2147024816', 'an existing file is not replaced by default');
  });
});

steps.push(function () {
  transfer('copyAsync', { srcPath: 'index.html', destPath: 'work\\copy\\sub\\two.txt', replaceExisting: true },
           function (seen) {
    t.equal(seen.success, 1, 'replaceExisting overwrites');
    t.equal(f.getSize('work\\copy\\sub\\two.txt'), f.getSize('index.html'), 'with the new content');
  });
});

steps.push(function () {
  f.mkDir('work\\blocked');
  f.copy('index.html', 'work\\blocked\\sub');
  transfer('copyAsync', { srcPath: 'work\\src', destPath: 'work\\blocked' }, function (seen) {
    t.equal(seen.fail.join(), '-2147467259', 'a file in the place of a sub-folder: E_FAIL');
  });
});

steps.push(function () {
  transfer('moveAsync', { srcPath: 'work\\copy', destPath: 'work\\renamed' }, function (seen) {
    t.equal(seen.success, 1, 'a move on one drive succeeds');
    t.equal(seen.progress, 0, 'a rename reports no progress');
    t.ok(f.isFileExist('work\\renamed\\sub\\two.txt') && !f.isFileExist('work\\copy'), 'renamed in one step');
  });
});

// A move to another drive goes file by file and removes the emptied source.
var elsewhere = t.env('TEMP') + '\\omb-file-async';
steps.push(function () {
  f.deleteFile(elsewhere);
  transfer('moveAsync', { srcPath: 'work\\renamed', destPath: elsewhere }, function (seen) {
    t.equal(seen.success, 1, 'a move to another drive succeeds');
    t.ok(f.isFileExist(elsewhere + '\\sub\\two.txt'), 'the files arrived');
    t.equal(f.isFileExist('work\\renamed'), false, 'the source folders are gone');
    f.deleteFile(elsewhere);
  });
});

// enumFiles, object form: path relative to the application folder.
steps.push(function () {
  var entries = [];
  var completed = 0;
  f.enumFiles({
    path: 'resource\\work\\src',
    callback: function (path, attributes, size) { entries.push({ path: path, attributes: attributes, size: size }); },
    completed: function () {
      completed++;
      var paths = [];
      var folderIndex = -1, innerIndex = -1;
      for (var i = 0; i < entries.length; i++) {
        paths.push(entries[i].path);
        if (entries[i].path == 'resource\\work\\src\\sub') folderIndex = i;
        if (entries[i].path == 'resource\\work\\src\\sub\\two.txt') {
          innerIndex = i;
          t.equal(entries[i].size, f.getSize('async.js'), 'size of a file');
        }
        if (entries[i].path == 'resource\\work\\src\\sub') {
          t.equal(entries[i].size, 0, 'a folder has size 0');
          t.ok((entries[i].attributes & 16) == 16, 'with the folder attribute');
        }
      }
      t.equal(entries.length, 3, 'every entry of the tree: ' + paths.join(' '));
      t.ok(innerIndex >= 0 && innerIndex < folderIndex, 'a folder after its contents');
      t.equal(completed, 1, 'completed once');
      next();
    }
  });
});

steps.push(function () {
  var count = 0;
  f.enumFiles({
    path: 'resource\\work\\src', recursive: false, filter: '\\.txt$',
    callback: function (path) { count++; return false; },
    completed: function () {
      t.equal(count, 1, 'an answer of false stops the walk');
      next();
    }
  });
});

next();
