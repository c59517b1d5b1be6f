// The packager: turns an application folder into one executable file, a copy
// of the host branded with the application's icon and version strings and
// with a zip archive of the folder appended.
//
//   Ombrel.exe d=<this folder> src=<app folder> out=<MyApp.exe>
//       [icon=<file.ico>] [version=<a.b.c.d>] [name=<product name>]
//       [description=<text>] [copyright=<text>]
//       [host=<host to package, default: the running host>]
//       [log=<file that receives the messages>] [/quiet]
//
// Paths must be full paths: the host runs with this folder as its current
// directory. The output is built beside "out" under a temporary name and
// takes its name only when complete, so a failed run leaves no output file.
// Errors go to the debug output, to the "log" file and, without /quiet, to a
// message box; the exit code says what failed.
console.showJsError = false;

var EXIT_OK = 0, EXIT_ARGUMENTS = 1, EXIT_BRAND = 2, EXIT_ARCHIVE = 3, EXIT_INTERNAL = 4;

var args = null, file = null, win = null;
var partial = '';
// Until the arguments are read, errors show no message box: the packager
// must never wait for a click nobody can give.
var quiet = true;
var logPath = '';

// A key=value argument. The host's own reading of the command line keeps
// values of up to 99 characters and gives a "/switch" the next word as its
// value, so the raw arguments are searched as well.
function option(name) {
  var value = args.getArgPair(name);
  if (value !== null && value !== undefined) return String(value);
  var prefix = name.toLowerCase() + '=';
  for (var i = 1; i < args.getOrgArgsCount(); i++) {
    var word = String(args.getOrgArg(i));
    if (word.substring(0, prefix.length).toLowerCase() == prefix) return word.substring(prefix.length);
  }
  return '';
}

function report(text) {
  console.log('packager: ' + text);
  if (!logPath) return;
  var io = queryModule('fileIO');
  if (!io.open(logPath, 'wo')) return;
  var line = queryModule('stream');
  line.writeString('packager: ' + text + '\r\n', 'utf8');
  line.seek(0, line.BEGIN);
  io.seek(0, io.END);
  io.write(line, line.getSize());
  io.close();
}

function finish(code, message) {
  if (partial && file.isFileExist(partial)) file.deleteFile(partial);
  if (message) {
    report('error: ' + message);
    if (!quiet) win.messageBox({caption: 'Ombrel packager', text: message, icon: 'error'});
  }
  queryModule('window').quit(code);
}

function isFullPath(path) {
  return /^[A-Za-z]:\\/.test(path) || /^\\\\[^\\]/.test(path);
}

function folderOf(path) {
  return path.replace(/\\[^\\]*$/, '');
}

// Four dot-separated numbers from 0 to 65535.
function isVersion(text) {
  var parts = text.split('.');
  if (parts.length != 4) return false;
  for (var i = 0; i < 4; i++) {
    if (!/^\d{1,5}$/.test(parts[i]) || Number(parts[i]) > 65535) return false;
  }
  return true;
}

// The checked arguments, or a message saying what is wrong.
function readArguments() {
  var a = {
    src: option('src').replace(/\\+$/, ''), out: option('out'), icon: option('icon'),
    version: option('version'), name: option('name'), description: option('description'),
    copyright: option('copyright'), host: option('host') || args.getOrgArg(0)
  };
  if (!a.src || !a.out) return 'src= (the application folder) and out= (the executable to write) are required';
  var paths = {src: a.src, out: a.out, icon: a.icon, host: a.host};
  for (var key in paths) {
    if (paths[key] && !isFullPath(paths[key])) return key + '= must be a full path: ' + paths[key];
  }
  if (!file.isDir(a.src)) return 'the application folder does not exist: ' + a.src;
  if (!file.isFileExist(a.src + '\\resource\\index.html'))
    return 'the application folder has no resource\\index.html: ' + a.src;
  if (a.out.toLowerCase().indexOf(a.src.toLowerCase() + '\\') == 0)
    return 'out= must not lie inside the application folder: ' + a.out;
  if (file.isDir(a.out)) return 'out= names a folder: ' + a.out;
  if (!file.isDir(folderOf(a.out))) return 'the folder of out= does not exist: ' + folderOf(a.out);
  if (a.icon && !file.isFileExist(a.icon)) return 'the icon file does not exist: ' + a.icon;
  if (a.version && !isVersion(a.version))
    return 'version= must be four numbers from 0 to 65535 separated by dots: ' + a.version;
  if (!/\.exe$/i.test(a.host) && !file.isFileExist(a.host)) a.host += '.exe';
  if (!file.isFileExist(a.host)) return 'the host to package does not exist: ' + a.host;
  return a;
}

// The running host's resource editor: plugins\Vellum.dll beside it.
function resourceEditor() {
  var running = args.getOrgArg(0);
  if (!isFullPath(running)) return null;
  var library = folderOf(running) + '\\plugins\\Vellum.dll';
  if (!file.isFileExist(library) || !loadPlugin(library)) return null;
  return queryModule('resEditor');
}

function brand(a) {
  var options = {path: partial};
  if (a.icon) options.iconPath = a.icon;
  if (a.version) {
    options.fileVer = a.version;
    options.productVer = a.version;
  }
  if (a.name) options.productName = a.name;
  if (a.description) options.fileDesc = a.description;
  if (a.copyright) options.copyright = a.copyright;
  options.internalName = a.out.replace(/^.*\\/, '').replace(/\.exe$/i, '');
  var editor = resourceEditor();
  if (!editor) return 'the resource editor (plugins\\Vellum.dll beside the host) could not be loaded';
  if (!editor.set(options)) return 'the icon or version information could not be written (is the icon a valid .ico file?)';
  return '';
}

// Appends the archive in the stream to the output file.
function append(archive) {
  var io = queryModule('fileIO');
  if (!io.open(partial, 'rw')) return false;
  io.seek(0, io.END);
  archive.seek(0, archive.BEGIN);
  var size = archive.getSize();
  var written = io.write(archive, size);
  io.close();
  return written == size;
}

function main() {
  win = queryModule('window');
  file = queryModule('file');
  args = queryModule('system').cmdArgs;
  logPath = option('log');
  quiet = args.isSwitchExist('quiet') || args.getArgPair('quiet') !== null;
  var a = readArguments();
  if (typeof a == 'string') return finish(EXIT_ARGUMENTS, a);
  partial = a.out + '.partial';
  if (file.isFileExist(partial) && !file.deleteFile(partial)) return finish(EXIT_BRAND, 'cannot replace ' + partial);
  if (!file.copy(a.host, partial)) {
    partial = '';
    return finish(EXIT_BRAND, 'cannot copy the host to ' + a.out + '.partial');
  }
  var failure = brand(a);
  if (failure) return finish(EXIT_BRAND, failure);

  var archive = queryModule('stream');
  queryModule('minizip').zip({
    src: a.src,
    dest: archive,
    success: function () {
      try {
        if (!append(archive)) return finish(EXIT_ARCHIVE, 'cannot append the archive to ' + partial);
        if (file.isFileExist(a.out) && !file.deleteFile(a.out)) return finish(EXIT_ARCHIVE, 'cannot replace ' + a.out);
        if (!file.move(partial, a.out)) return finish(EXIT_ARCHIVE, 'cannot rename ' + partial + ' to ' + a.out);
        partial = '';
        report('wrote ' + a.out);
        finish(EXIT_OK);
      } catch (e) {
        finish(EXIT_INTERNAL, 'unexpected error: ' + (e.message || e));
      }
    },
    fail: function (code) {
      finish(EXIT_ARCHIVE, 'cannot zip ' + a.src + ' (error ' + (code >>> 0).toString(16) + ')');
    }
  });
}

try {
  main();
} catch (e) {
  finish(EXIT_INTERNAL, 'unexpected error: ' + (e.message || e));
}
