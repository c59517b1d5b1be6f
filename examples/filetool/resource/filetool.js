// @ts-check
// Filetool: choose a folder (with the folder picker, by dropping it on the
// page, or with folder=<path> on the command line), list its files, zip it
// next to itself with progress, and report the result in a message box. The
// last folder, the replace choice and the number of archives made are kept
// with the "config" plug-in.
//
// Command line (for scripts and automated runs, which cannot click):
//   Ombrel.exe d=<this folder> folder=C:\data [dest=C:\out\data.zip] [/zip] [/quit]
// /zip zips once the folder is listed; /quit ends the process afterwards with
// exit code 0 when the archive was made and 1 otherwise, instead of showing
// the message box.

var filetool = (function () {
  var FOLDER_ATTRIBUTE = 16;
  var win = queryModule('window');
  var files = queryModule('file');
  var system = queryModule('system');
  var args = system.cmdArgs;
  var automatic = args.isSwitchExist('quit');

  // Settings live under HKEY_CURRENT_USER\Software\OmbrelFiletool.
  var settings = queryModule('config');
  settings.init('OmbrelFiletool');

  /** @type {{folder: string, entries: {name: string, size: number}[], bytes: number, busy: boolean}} */
  var state = { folder: '', entries: [], bytes: 0, busy: false };

  /** @param {string} name @param {string} fallback */
  function textSetting(name, fallback) {
    var value = settings.queryValue(name);
    return typeof value === 'string' ? value : fallback;
  }

  /** @param {string} name */
  function numberSetting(name) {
    var value = settings.queryValue(name);
    return typeof value === 'number' ? value : 0;
  }

  /** @param {string} path */
  function withoutTrailingSlash(path) {
    return path.replace(/[\\\/]+$/, '');
  }

  /**
   * Lists a folder's files (sub-folders included) in the background; then()
   * runs when the list is complete.
   * @param {string} folder
   * @param {() => void} [then]
   */
  function openFolder(folder, then) {
    if (state.busy) return;
    folder = withoutTrailingSlash(folder);
    if (!files.isDir(folder)) {
      view.status('Not a folder: ' + folder);
      if (automatic) win.quit(1);
      return;
    }
    state = { folder: folder, entries: [], bytes: 0, busy: true };
    settings.setValue('lastFolder', folder);
    view.folder(folder);
    view.status('Listing ' + folder + ' ...');
    files.enumFiles({
      path: folder,
      recursive: true,
      callback: function (path, attributes, size) {
        if (attributes & FOLDER_ATTRIBUTE) return;
        state.entries.push({ name: path.substring(folder.length + 1), size: size });
        state.bytes += size;
      },
      completed: function () {
        state.busy = false;
        state.entries.sort(function (a, b) { return a.name < b.name ? -1 : a.name > b.name ? 1 : 0; });
        view.list(state.entries);
        view.status(state.entries.length + ' files, ' + view.size(state.bytes));
        win.title = 'Filetool - ' + folder;
        if (then) then();
      }
    });
  }

  /** Asks for a folder with the folder picker. */
  function chooseFolder() {
    var picked = win.selectFolder({
      title: 'Choose the folder to zip',
      initDir: textSetting('lastFolder', '')
    });
    if (picked) openFolder(picked);
  }

  /**
   * Reports the end of a zip: a message box for a person, an exit code for
   * an automated run.
   * @param {string} text
   * @param {string} [archive] the archive made, when it was
   */
  function report(text, archive) {
    view.status(text);
    win.setTaskbarProgressState('none');
    if (automatic) {
      win.quit(archive ? 0 : 1);
      return;
    }
    if (!archive) {
      win.messageBox({ caption: 'Filetool', text: text, icon: 'error' });
      return;
    }
    var holder = archive.substring(0, archive.lastIndexOf('\\'));
    win.messageBox({
      caption: 'Filetool',
      text: text + '\n\nOpen the folder that holds it?',
      type: 'yesNo',
      icon: 'information',
      onYes: function () { system.shellExecute({ path: holder }); }
    });
  }

  /** Zips the listed folder into <folder>.zip (or dest=<path>) with progress. */
  function zipFolder() {
    if (state.busy) return;
    if (!state.folder) {
      view.status('Choose a folder first.');
      return;
    }
    var dest = args.getArgPair('dest') || state.folder + '.zip';
    var replace = numberSetting('replace') === 1;
    if (!replace && files.isFileExist(dest)) {
      report(dest + ' exists already: tick "replace an existing archive" to overwrite it.');
      return;
    }
    state.busy = true;
    var started = new Date().getTime();
    view.status('Zipping into ' + dest + ' ...');
    win.setTaskbarProgressState('normal');
    queryModule('minizip').zip({
      src: state.folder,
      dest: dest,
      overWrite: replace,
      context: dest,
      progress: function (path, total, processed) {
        if (total > 0) {
          view.progress(processed / total);
          win.setTaskbarProgress(processed, total);
        }
      },
      success: function (archive) {
        state.busy = false;
        view.progress(1);
        var count = numberSetting('archivesMade') + 1;
        settings.setValue('archivesMade', count);
        var size = files.getSize(archive);
        report('Zipped ' + state.entries.length + ' files (' + view.size(state.bytes) + ') into ' +
          archive + (size === undefined ? '' : ', ' + view.size(size)) + ' in ' +
          ((new Date().getTime() - started) / 1000).toFixed(1) + ' s. Archives made so far: ' + count + '.',
          archive);
      },
      fail: function (result, archive) {
        state.busy = false;
        view.progress(0);
        report('Could not zip into ' + archive + ' (error ' + result + ').');
      }
    });
  }

  /** @param {boolean} on */
  function setReplace(on) {
    settings.setValue('replace', on ? 1 : 0);
  }

  /** The window's menu bar. */
  function buildMenu() {
    var menus = queryModule('menu');
    var fileMenu = menus.createMenu('popupMenu');
    fileMenu.appendMenu({ name: '&Choose folder...', callback: chooseFolder });
    fileMenu.appendMenu({ name: '&Zip it', callback: zipFolder });
    fileMenu.appendMenu({ separator: true });
    fileMenu.appendMenu({ name: 'E&xit', callback: function () { win.quit(); } });
    var bar = menus.createMenu('windowMenu');
    bar.appendMenu({ name: '&File', subMenu: fileMenu });
    win.menu = bar;
  }

  function start() {
    console.showJsError = !automatic;
    win.title = 'Filetool';
    win.minWidth = 420;
    win.minHeight = 300;
    buildMenu();
    // A folder (or the first of several things) dropped on the page opens it.
    queryModule('dragfile').bind('drop', function (paths) {
      if (paths.length > 0) openFolder(paths[0]);
    });
    view.check('replace', numberSetting('replace') === 1);
    if (!automatic) win.show(true);

    var folder = args.getArgPair('folder');
    if (folder) {
      openFolder(folder, args.isSwitchExist('zip') ? zipFolder : undefined);
    } else if (automatic) {
      view.status('folder=<path> is needed with /quit');
      win.quit(1);
    } else {
      var last = textSetting('lastFolder', '');
      if (last && files.isDir(last)) openFolder(last);
    }
  }

  start();
  return { chooseFolder: chooseFolder, zipFolder: zipFolder, setReplace: setReplace };
})();
