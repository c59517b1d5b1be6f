// Ombrel script typings: window.external with the built-in plug-ins, the
// objects they hand out, and the globals that Ombrel's start-up script gives
// every page (queryModule, loadPlugin, createWindow, abort, console, alert).
//
// Use it from a jsconfig.json or tsconfig.json ("include" this file next to
// your scripts, with "allowJs": true) and start each script with
// "// @ts-check", or reference it from a script:
//   /// <reference path="path/to/ombrel.d.ts" />
// It works with or without the "dom" library ("lib": ["es5"] describes the
// script engine of the page; add "dom" for the platform browser's DOM).
//
// Conventions of every plug-in, stated once here:
// - Names are case-sensitive. A wrong argument count or type is a script
//   error (the host answers E_NOTIMPL or E_INVALIDARG); everything else fails
//   softly, with the false, null or undefined answer each member names.
// - Functions given in option objects are called as fn(arguments..., context)
//   with the option object's "context" (undefined when none was given).
//   Functions called from a background job run on the page's thread while the
//   job waits for their answer.
// - Result codes reach script as signed 32-bit integers: 0x80070002 arrives as
//   -2147024894 (see Ombrel.ResultCode).
// - Relative paths are taken relative to the folder of the page, unless a
//   member says otherwise.

declare namespace Ombrel {
  /**
   * A failure code (an HRESULT) as a signed 32-bit integer. Common values:
   * -2147467260 E_ABORT, -2147467259 E_FAIL, -2147024809 E_INVALIDARG,
   * -2147024894 file not found, -2147024891 access denied, -2147024816 file exists.
   */
  type ResultCode = number;

  /** An array built by the host: indexed members "0", "1", ..., a length and push(). */
  interface HostArray<T> {
    readonly length: number;
    readonly [index: number]: T;
    push(value: T): void;
  }

  /** Every built-in plug-in by its name, plus the plug-in of the shipped Vellum library. */
  interface PluginMap {
    window: WindowPlugin;
    menu: MenuPlugin;
    tray: TrayPlugin;
    hotkey: HotkeyPlugin;
    mouse: MousePlugin;
    dragfile: DragFilePlugin;
    console: ConsolePlugin;
    system: SystemPlugin;
    registry: RegistryPlugin;
    config: ConfigPlugin;
    file: FilePlugin;
    fileIO: FileIOPlugin;
    stream: StreamObject;
    hash: HashPlugin;
    http: HttpPlugin;
    ga: AnalyticsPlugin;
    minizip: ZipPlugin;
    /** Present only when Vellum.dll was loaded (from the plugins folder or with loadPlugin). */
    resEditor: ResEditorPlugin | undefined;
  }

  // ---------------------------------------------------------------- window

  type MessageBoxType = "ok" | "okCancel" | "yesNo";
  type MessageBoxIcon = "information" | "error" | "warning" | "question";
  type TaskbarProgressState = "none" | "cycle" | "normal" | "error" | "pause";

  interface MessageBoxOptions {
    /** Title of the box (default empty). */
    caption?: string;
    /** The message (default empty). */
    text?: string;
    /** Buttons (compared without regard to case); "yesNo" makes the question icon the default. */
    type?: MessageBoxType;
    /** Icon (compared without regard to case); default "information". */
    icon?: MessageBoxIcon;
    onOk?: () => void;
    onCancel?: () => void;
    onYes?: () => void;
    onNo?: () => void;
  }

  interface SelectFileOptions {
    title?: string;
    /** Description and pattern pairs, each part ended by "\0": "Text\0*.txt\0All\0*.*\0". */
    filter?: string;
    /** Folder the dialog opens in. */
    initDir?: string;
    /** Several files may be chosen; the answer is then an array. */
    multi?: boolean;
    fileMustExist?: boolean;
    /** Ask before replacing a file (single selection only; fileMustExist is then ignored). */
    overwritePrompt?: boolean;
    /** A save dialog instead of an open dialog (single selection only). */
    saveMode?: boolean;
  }

  interface SelectFolderOptions {
    /** Instruction text above the folder tree. */
    title?: string;
    /** Folder selected and expanded when the dialog opens. */
    initDir?: string;
    /** Show the "new folder" button (default false). */
    newFolderButton?: boolean;
  }

  /** A window event function; answering exactly false cancels the events that can be cancelled. */
  type WindowEventFunction = () => boolean | void;

  /** The page's own top-level window: window.external.window, queryModule('window'). */
  interface WindowPlugin {
    /** true shows the window normally and brings it to the front; false hides it. Answers true. */
    show(visible: boolean): true;
    /** Posts a close request (the window closes without calling onClose). Answers true. */
    close(): true;
    /** Ends the process's message loop with the exit code (default 0; a whole number). */
    quit(exitCode?: number): void;
    /** Minimises the window (without calling onMinimize). Answers true. */
    minimize(): true;
    /** Centres the window on the work area of its monitor. Answers true. */
    centerWindow(): true;
    /** Taskbar progress value; a total of 0 is a script error. Answers true. */
    setTaskbarProgress(completed: number, total: number): true;
    /** Taskbar progress state (case-insensitive); false for another word or without taskbar support. */
    setTaskbarProgressState(state: TaskbarProgressState): boolean;
    /** Whether the taskbar shows progress for this window. */
    isSupportTaskbarProgress(): boolean;
    /** The open or save dialog. Answers the full path, or null when cancelled. */
    selectFile(options?: SelectFileOptions & { multi?: false }): string | null;
    /** The open dialog with several files: an array of full paths, or null when cancelled. */
    selectFile(options: SelectFileOptions & { multi: true }): string[] | null;
    selectFile(options?: SelectFileOptions): string | string[] | null;
    /** The folder browser. Answers the folder's path, or null when cancelled. */
    selectFolder(options?: SelectFolderOptions): string | null;
    /** Claims a name for this window: false when another window already holds it. */
    isUniqueWindow(name: string): boolean;
    /** Brings the window that holds this window's claimed name to the front; true when found. */
    showExistedWindow(): boolean;
    /** A modal message box; the pressed button's function runs before this returns true. */
    messageBox(options: MessageBoxOptions): boolean;
    isVisible(): boolean;
    /** Whether this window is the foreground window. */
    isForeWindow(): boolean;
    /** Moves and sizes the window (screen pixels); a width or height of 0 is a script error. */
    setWindowPos(left: number, top: number, width: number, height: number): boolean;
    /** Outer width in pixels; writing 0 is a script error; ignored once a shape image is set. */
    width: number;
    /** Outer height in pixels; writing 0 is a script error; ignored once a shape image is set. */
    height: number;
    /** Screen position of the left edge. */
    left: number;
    /** Screen position of the top edge. */
    top: number;
    /** Width of the primary monitor's work area. */
    readonly workAreaWidth: number;
    /** Height of the primary monitor's work area. */
    readonly workAreaHeight: number;
    /** The window's title (read back up to 999 characters). */
    title: string;
    /** Write-only: shows or hides the minimise box. */
    get minimizeBox(): never;
    set minimizeBox(value: boolean);
    /** Write-only: shows or hides the maximise box. */
    get maximizeBox(): never;
    set maximizeBox(value: boolean);
    /** Write-only: shows or hides the system menu. */
    get sysMenu(): never;
    set sysMenu(value: boolean);
    /** Write-only: false removes the caption and border (the page fills the window). */
    get caption(): never;
    set caption(value: boolean);
    /** Write-only: keeps the window above all others. */
    get topMost(): never;
    set topMost(value: boolean);
    /** Write-only: smallest width the user can size the window to; 0 is a script error. */
    get minWidth(): never;
    set minWidth(value: number);
    /** Write-only: smallest height; 0 is a script error. */
    get minHeight(): never;
    set minHeight(value: number);
    /** Write-only: largest width; 0 is a script error. */
    get maxWidth(): never;
    set maxWidth(value: number);
    /** Write-only: largest height; 0 is a script error. */
    get maxHeight(): never;
    set maxHeight(value: number);
    /** Write-only: whether the user can resize the window (also without a caption, at its 6-pixel edges). */
    get resize(): never;
    set resize(value: boolean);
    /** Write-only: a .bmp whose white pixels become see-through; the window takes its size. */
    get shapeImage(): never;
    set shapeImage(path: string);
    /** The menu bar: a menu object of kind "windowMenu"; null removes it. */
    menu: MenuObject | null;
    /** The window's message object (one per window). */
    readonly msg: MessageObject;
    /** Write-only: called when the window is destroyed. null clears it. */
    get onClosed(): never;
    set onClosed(fn: WindowEventFunction | null);
    /** Write-only: called on the system close command; answering false keeps the window open. */
    get onClose(): never;
    set onClose(fn: WindowEventFunction | null);
    /** Write-only: called on the system minimise command; false cancels it. */
    get onMinimize(): never;
    set onMinimize(fn: WindowEventFunction | null);
    /** Write-only: called on the system maximise command; false cancels it. */
    get onMaximize(): never;
    set onMaximize(fn: WindowEventFunction | null);
    /** Write-only: called on the system restore command; false cancels it. */
    get onRestore(): never;
    set onRestore(fn: WindowEventFunction | null);
    /** Write-only: called when the window becomes active. */
    get onActivate(): never;
    set onActivate(fn: WindowEventFunction | null);
    /** Write-only: called when the window stops being active. */
    get onInactivate(): never;
    set onInactivate(fn: WindowEventFunction | null);
    /** Write-only: called when the session ends (log-off, shut-down); the session ends anyway. */
    get onShutdown(): never;
    set onShutdown(fn: WindowEventFunction | null);
  }

  /** Named text messages between windows, also of other processes: the window plug-in's msg. */
  interface MessageObject {
    /**
     * Calls handler(payload, context) for messages of this name sent to this window.
     * false when the name is already registered (the first handler stays).
     */
    registerMsg<C = undefined>(name: string, handler: (payload: string, context: C) => void, context?: C): boolean;
    /** Removes the handler of this name; true also when there was none. */
    unregisterMsg(name: string): boolean;
    /**
     * Sends the message synchronously to every window whose uniqueID is target (this one included).
     * true when at least one window carries that id.
     */
    sendMsg(target: string | number, name: string | number, payload?: string | number | boolean): boolean;
    /** An id under which other windows reach this one; every id written stays valid. */
    uniqueID: string;
  }

  // ------------------------------------------------------------------ menu

  type MenuKind = "popupMenu" | "trayMenu" | "windowMenu";

  interface MenuItemOptions<C = undefined> {
    /** Item text; required unless the item is a separator. */
    name?: string;
    /** The item starts disabled. */
    gray?: boolean;
    /** A separator line. */
    separator?: boolean;
    /** The item opens this submenu. */
    subMenu?: MenuObject;
    /** Called when the item is chosen: with the context when one was given, else with none. An item without callback is disabled. */
    callback?: (context: C) => void;
    context?: C;
  }

  /** The "menu" plug-in. */
  interface MenuPlugin {
    /** A new empty menu of this kind (compared without regard to case; default "popupMenu"). Another word is a script error. */
    createMenu(kind?: MenuKind): MenuObject;
  }

  /** A menu made by createMenu. */
  interface MenuObject {
    /** Appends an item; false when it has no name, or its submenu cannot be used (for example contains this menu). */
    appendMenu<C = undefined>(item: MenuItemOptions<C>): boolean;
    /** Shows a pop-up or tray menu at the cursor, or at (x, y) in the page's client coordinates, and runs the chosen item. false for a window menu or an empty menu. */
    popup(): boolean;
    popup(x: number, y: number): boolean;
    /** The submenu of the first submenu item with this name (without regard to case), or undefined. An empty name is a script error. */
    getSubMenu(name: string): MenuObject | undefined;
    /** Enables or disables the first item with this name (without regard to case); false when there is none. */
    enable(name: string, enabled: boolean): boolean;
    /** Number of items, separators and submenus included. */
    getItemCount(): number;
  }

  // ------------------------------------------------------------------ tray

  /** The "tray" plug-in: one notification-area icon. */
  interface TrayPlugin {
    /** Shows the icon with this tool tip (up to 127 characters): the application's icon, or one from an .ico file. An icon that cannot be loaded is a script error. */
    addTray(tip: string, iconPath?: string): void;
    /** Shows the icon again after hide. */
    show(): void;
    /** Removes the icon from the notification area. */
    hide(): void;
    /** Write-only: called on a left click. */
    get onClick(): never;
    set onClick(fn: () => void);
    /** Write-only: called on a double click. */
    get onDbClick(): never;
    set onDbClick(fn: () => void);
    /** Write-only: called on a right click (show a "trayMenu" from here). */
    get onRClick(): never;
    set onRClick(fn: () => void);
  }

  // --------------------------------------------------- hotkey, mouse, drop

  /** The "hotkey" plug-in: system-wide hot keys such as "ctrl+alt+f5". */
  interface HotkeyPlugin {
    /** Registers the key text (modifiers ctrl, shift, alt, win joined by "+", then a key); false when the text is invalid, already set here, or taken by the system. */
    set<C = undefined>(keys: string, fn: (context: C) => void, context?: C): boolean;
    /** Unregisters a key text set before; false when it was not set. */
    clear(keys: string): boolean;
  }

  /** Mouse buttons: 0 left, 1 right, 2 middle (any other number means left). */
  type MouseButton = 0 | 1 | 2;

  /** The "mouse" plug-in. */
  interface MousePlugin {
    /** Whether the button (default left) is down. The button must be a whole number. */
    isBtnDown(button?: MouseButton): boolean;
    /** Presses and releases a button (default left) at the cursor, or first moves the cursor to (x, y) on the screen. Two arguments are a script error. */
    click(button?: MouseButton): boolean;
    click(button: MouseButton, x: number, y: number): boolean;
    /** Cursor position in screen pixels; writing moves the cursor. */
    x: number;
    y: number;
    readonly LBTN: 0;
    readonly RBTN: 1;
    readonly MBTN: 2;
  }

  interface DropBinding {
    callback: (paths: HostArray<string>, context: any) => void;
    context: any;
  }

  /** The "dragfile" plug-in: page elements that accept dropped files. */
  interface DragFilePlugin {
    /** Files dropped on the element with this id (or inside it) call fn(paths, context); a fn that is not a function removes the binding. */
    bind<C = undefined>(elementId: string, fn: ((paths: HostArray<string>, context: C) => void) | null, context?: C): void;
    /** The binding of this id, or undefined. */
    get(elementId: string): DropBinding | undefined;
  }

  // --------------------------------------------------------------- console

  /** The "console" plug-in, which the start-up script makes the page's console. */
  interface ConsolePlugin {
    /** Writes the text and a line break to the debugger output (a non-string writes nothing; no argument is a script error). */
    log(text: string): void;
    /** Exactly false keeps the browser's script-error dialog from showing (errors are then ignored). */
    showJsError: boolean | undefined;
  }

  // ---------------------------------------------------------------- system

  interface ShellExecuteOptions<C = undefined> {
    /** Program, document or URL to open; required. */
    path: string;
    /** Working directory. */
    workDir?: string;
    /** Parameters, passed as they are. */
    args?: string;
    /** Ask for elevation (unless the process already runs elevated). */
    requestAdmin?: boolean;
    /** Called with the exit code (unsigned) when the started process ends. */
    exitCallback?: (exitCode: number, context: C) => void;
    context?: C;
  }

  interface ShortcutOptions {
    /** Target program, document or URL; required. */
    src: string;
    /** Arguments of a program shortcut. */
    arg?: string;
    /** Full path of the shortcut file (".lnk" or, for a URL, ".url" is appended when missing). Not with desktop. */
    dest?: string;
    /** Icon file. */
    icon?: string;
    /** Index of the icon in the icon file (default 0). */
    iconIndex?: number;
    /** Put the shortcut on the user's desktop. */
    desktop?: boolean;
    /** File name on the desktop (default: the target's file name; required for a URL). */
    destName?: string;
  }

  interface ShortcutInfo {
    /** Target path. */
    path: string;
    /** Arguments. */
    args: string;
  }

  /** The process's command line: system.cmdArgs. */
  interface CommandLine {
    /** Number of command-line words, the program path included. */
    getOrgArgsCount(): number;
    /** The word at this index (0 is the program path), or null out of range. The index must be a whole number. */
    getOrgArg(index: number): string | null;
    /** Whether the switch (/name or -name, any letter case) was given. */
    isSwitchExist(name: string): boolean;
    /** The value of key=value or /key value (key in any letter case), or null. */
    getArgPair(key: string): string | null;
  }

  /** The "system" plug-in. */
  interface SystemPlugin {
    reboot(): boolean;
    shutdown(): boolean;
    /** Hibernates. */
    hiberhates(): boolean;
    /** Sleeps. */
    suspended(): boolean;
    /** Turns the monitors off. Answers true. */
    closeMonitor(): true;
    lockWorkStation(): boolean;
    /** Stops the running script (always raises E_ABORT). */
    abort(): never;
    /** Opens a program or document; true when it started. */
    shellExecute<C = undefined>(options: ShellExecuteOptions<C>): boolean;
    /** Writes a shortcut file; true when written. */
    createShortcut(options: ShortcutOptions): boolean;
    /** Reads a shortcut file (the path is used as given); null when it cannot be read. */
    parseShortcut(path: string): ShortcutInfo | null;
    /** An environment variable's value, or null when it is absent or empty. */
    getEnvirVar(name: string): string | null;
    /** The text with %VARIABLE% references expanded (also DESKTOP, MYDOCUMENTS and the other folder variables the plug-in sets), or null. */
    expandEnvirPath(text: string): string | null;
    pinToTaskbar(path: string): boolean;
    unpinFromTaskbar(path: string): boolean;
    /** Calls the library's DllRegisterServer; true when it answered S_OK. */
    registerDll(path: string): boolean;
    /** Calls the library's DllUnregisterServer; true when it answered S_OK. */
    unregisterDll(path: string): boolean;
    /** Whether the process runs elevated. Writing true restarts the host elevated and stops the script (E_ABORT); false does nothing. */
    administrator: boolean;
    /** The command line of the process. */
    readonly cmdArgs: CommandLine;
    /** Language of the system, such as "en-US" (undefined when it cannot be read). */
    readonly systemLanguage: string | undefined;
    /** Language of the user, such as "en-US" (undefined when it cannot be read). */
    readonly userLanguage: string | undefined;
    readonly isX64Process: boolean;
    readonly isX64System: boolean;
  }

  // -------------------------------------------------------------- registry

  type RegistryMode = "default" | "force32" | "force64";

  /** The "registry" plug-in (a new object, in "default" mode, on every read). */
  interface RegistryPlugin {
    /** Paths start with a full root name: HKEY_CLASSES_ROOT, HKEY_CURRENT_CONFIG, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE or HKEY_USERS. */
    createKey(keyPath: string): boolean;
    /** Deletes the key with everything below it. */
    deleteKey(keyPath: string): boolean;
    /** Writes a value into an existing key: whole numbers and booleans as DWORD, other non-negative numbers as QWORD, strings as SZ. */
    setValue(valuePath: string, value: number | boolean | string): boolean;
    deleteValue(valuePath: string): boolean;
    /** A DWORD or QWORD as a number, SZ or EXPAND_SZ as text (not expanded), anything else or a failure as null. */
    queryValue(valuePath: string): number | string | null;
    isKeyExist(keyPath: string): boolean;
    isValueExist(valuePath: string): boolean;
    /** The registry view of this object (written in any letter case; another word is a script error). */
    mode: RegistryMode;
  }

  // ---------------------------------------------------------------- config

  /** The "config" plug-in: application settings (a new object on every read: keep the one you called init on). */
  interface ConfigPlugin {
    /** Chooses the store: the registry key HKEY_CURRENT_USER\Software\<name>, or with ini true the INI file <name>. false for an empty name. */
    init(name: string, ini?: boolean): boolean;
    /** Removes one key or section (group), or the whole store (the key, or the INI file). */
    clear(group?: string): boolean;
    /** Registry store: writes a 32-bit whole number (DWORD) or a string under "key\value" or "value"; other values answer false. */
    setValue(valuePath: string, value: number | string): boolean;
    /** INI store: writes the value as text. */
    setValue(section: string, key: string, value: string | number | boolean): boolean;
    /** Registry store: the value (number or string), or null. */
    queryValue(valuePath: string): number | string | null;
    /** INI store: the text, null when it cannot be read, undefined when the key is empty or missing. */
    queryValue(section: string, key: string): string | null | undefined;
    /** Registry store: true also when the value did not exist. */
    deleteValue(valuePath: string): boolean;
    /** INI store. */
    deleteValue(section: string, key: string): boolean;
  }

  // ------------------------------------------------------------------ file

  interface TransferOptions<C = undefined> {
    /** Source file or folder; required. */
    srcPath: string;
    /** Destination path (for a file, the target file's path); required. */
    destPath: string;
    /** Overwrite existing files (default false). */
    replaceExisting?: boolean;
    /** Byte progress; answering false stops the job (then neither success nor fail is called). */
    progress?: (done: number, total: number, context: C) => boolean | void;
    success?: (context: C) => void;
    fail?: (result: ResultCode, context: C) => void;
    context?: C;
  }

  interface EnumFilesOptions {
    /** Folder to walk (used as given: a relative path is relative to the current directory). */
    path: string;
    /** A regular expression the full path must match (see the file plug-in's reference). */
    filter?: string;
    /** Walk sub-folders too (default true). */
    recursive?: boolean;
    /** Called for every entry; answering false ends the walk. Sub-folders come after their contents. */
    callback?: (fullPath: string, attributes: number, size: number) => boolean | void;
    /** Called once when the walk has ended. */
    completed?: () => void;
  }

  /** The "file" plug-in. */
  interface FilePlugin {
    isFileExist(path: string): boolean;
    /** Deletes a file or a folder with its contents (or schedules it for the next restart); true also for a path that does not exist. */
    deleteFile(path: string, atReboot?: boolean): boolean;
    /** Copies a file or folder with the shell, silently. */
    copy(source: string, destination: string): boolean;
    /** Copies in the background with byte progress; false when the job could not start (fail has then been called). */
    copyAsync<C = undefined>(options: TransferOptions<C>): boolean;
    /** Moves a file or folder with the shell, silently. */
    move(source: string, destination: string): boolean;
    /** Moves in the background (a rename within one volume); false when the job could not start. */
    moveAsync<C = undefined>(options: TransferOptions<C>): boolean;
    /** Creates one folder (not its parents). */
    mkDir(path: string): boolean;
    /** The names matching a pattern such as "C:\\data\\*.txt", or null when nothing matches. */
    enumFiles(pattern: string): string[] | null;
    /** Walks a folder in the background, calling options.callback for every entry. */
    enumFiles(options: EnumFilesOptions): void;
    /** A file's size in bytes, or undefined (a folder, a missing file). */
    getSize(path: string): number | undefined;
    isDir(path: string): boolean;
    /** true for a folder without entries; false for a file, a missing path or a folder with entries. */
    isDirEmpty(path: string): boolean;
  }

  // ------------------------------------------------------ fileIO and stream

  /** Origins of seek: 0 begin, 1 current position, 2 end. */
  type SeekOrigin = 0 | 1 | 2;
  type TextEncodingName = "utf8" | "unicode" | "ansi";

  interface ReadAsyncOptions<C = undefined> {
    /** Bytes to read, 1 to 4294967295; required. */
    len: number;
    /** Called with each chunk (at most 65,536 bytes) as a new stream at position 0; false stops the job. */
    progress?: (chunk: StreamObject, context: C) => boolean | void;
    success?: (context: C) => void;
    fail?: (result: ResultCode, context: C) => void;
    context?: C;
  }

  interface WriteAsyncOptions<C = undefined> {
    /** Bytes to write, 1 to 4294967295; required. */
    len: number;
    /** Stream the bytes come from, from its position on; required. */
    src: StreamObject;
    /** Called after each chunk written; false stops the job. */
    progress?: (context: C) => boolean | void;
    success?: (context: C) => void;
    fail?: (result: ResultCode, context: C) => void;
    context?: C;
  }

  /** The "fileIO" plug-in: one open file per object (a new object on every read). */
  interface FileIOPlugin {
    /** Opens a file; mode letters: r read, w write; c create always, e open existing (default), n create new, o open always. */
    open(path: string, mode: string): boolean;
    close(): void;
    /** Reads len bytes from the file's position in the background, chunk by chunk; false when it could not start. */
    readAsync<C = undefined>(options: ReadAsyncOptions<C>): boolean;
    /** Writes len bytes from a stream in the background; false when it could not start. */
    writeAsync<C = undefined>(options: WriteAsyncOptions<C>): boolean;
    /** Reads up to count bytes into the stream; answers the bytes moved (0 after a failure). */
    read(stream: StreamObject, count: number): number;
    /** Writes up to count bytes from the stream's position; answers the bytes moved (0 after a failure). */
    write(stream: StreamObject, count: number): number;
    /** Moves the file position; the new position, or undefined when it failed or the origin is not 0, 1 or 2. */
    seek(offset: number, origin: SeekOrigin): number | undefined;
    /** The file's size (0 when unknown); writing sets the end of the file. */
    size: number;
    readonly BEGIN: 0;
    readonly CURRENT: 1;
    readonly END: 2;
    readonly S_OK: 0;
    readonly E_ABORT: -2147467260;
  }

  /** A growable byte buffer with a position: the "stream" plug-in (a new empty stream on every read). */
  interface StreamObject {
    /** Copies count bytes (default all) from this stream's position into target, whose position advances (this one's does not); answers the count. */
    copyTo(target: StreamObject, count?: number): number;
    /** Moves the position (it may pass the end, not the start); answers the new position. A bad origin is a script error. */
    seek(offset: number, origin: SeekOrigin): number;
    /** Grows or cuts the data; the position stays. */
    setSize(size: number): boolean;
    /** Size of the data in bytes. */
    getSize(): number;
    /** The little-endian value at the position (which advances), or null past the end. */
    readUInt8(): number | null;
    writeUInt8(value: number): boolean;
    readUInt16(): number | null;
    writeUInt16(value: number): boolean;
    readUInt32(): number | null;
    writeUInt32(value: number): boolean;
    readUInt64(): number | null;
    writeUInt64(value: number): boolean;
    /** Decodes length bytes (default: to the end) from the position, trailing zero bytes cut; null at the end. */
    readString(encoding?: TextEncodingName, length?: number): string | null;
    /** Encodes the text at the position ("utf8" without, "unicode" and "ansi" with a terminator); answers the bytes written. */
    writeString(text: string, encoding?: TextEncodingName): number;
    /** Overwrites count bytes (default: to the end; never grows) with value 0..255; answers the count. */
    fill(value: number, count?: number): number;
    readonly BEGIN: 0;
    readonly CURRENT: 1;
    readonly END: 2;
  }

  // ------------------------------------------------------------------ hash

  /** A digest being computed; finish() gives it in upper-case hexadecimal. */
  interface Digest {
    /** Adds text as UTF-8 (up to a NUL character), or the whole content of a stream. Answers the digest object itself; another type is a script error, another argument count does nothing. */
    addData(data: string | StreamObject): Digest;
    /** The digest as upper-case hexadecimal; the same value again on later calls. */
    finish(): string;
  }

  /** The "hash" plug-in: each member makes a new digest object. */
  interface HashPlugin {
    sha1(): Digest;
    md4(): Digest;
    md5(): Digest;
    sha256(): Digest;
  }

  // ------------------------------------------------------------------ http

  interface DownloadOptions<C = undefined> {
    /** Address to download; required. */
    url: string;
    /** File to write; required. */
    destPath: string;
    /** After every block; answering false stops the download (a partial file is deleted). */
    progress?: (received: number, total: number, context: C) => boolean | void;
    success?: (context: C) => void;
    fail?: (result: ResultCode, context: C) => void;
    context?: C;
  }

  /** A download client made by http.createClient(). */
  interface DownloadClient {
    /** Downloads url into destPath in the background; false when it could not start (fail has then been called). */
    downloadToFile<C = undefined>(options: DownloadOptions<C>): boolean;
    readonly S_OK: 0;
    readonly E_ABORT: -2147467260;
    readonly E_ACCESSDENIED: -2147024891;
    readonly E_FILENOTFOUND: -2147024894;
  }

  /** The platform's XMLHTTP request object ("Microsoft.XMLHTTP"). */
  interface XmlHttpRequestObject {
    open(method: string, url: string, async?: boolean, user?: string, password?: string): void;
    setRequestHeader(name: string, value: string): void;
    send(body?: string): void;
    abort(): void;
    getResponseHeader(name: string): string;
    getAllResponseHeaders(): string;
    readonly readyState: number;
    readonly status: number;
    readonly statusText: string;
    readonly responseText: string;
    onreadystatechange: (() => void) | null;
  }

  /** The "http" plug-in (a new object on every read). */
  interface HttpPlugin {
    /** A new download client. */
    createClient(): DownloadClient;
    /** A new platform request object, or undefined where the platform has none. */
    createXmlHttp(): XmlHttpRequestObject | undefined;
  }

  // -------------------------------------------------------------------- ga

  /** The "ga" plug-in: usage hits (Measurement Protocol v1), sent in the background. */
  interface AnalyticsPlugin {
    /** Sets the tracking id, application name and version; a missing or non-string argument is a script error. */
    set(trackingId: string, appName: string, appVersion: string): void;
    /** Sends a screen view; a missing or non-string name is a script error. */
    page(screenName: string): void;
    /** Sends an event; with fewer than two arguments nothing is sent. */
    event(category: string, action: string | number): void;
  }

  // --------------------------------------------------------------- minizip

  interface UnzipCommonOptions<C> {
    /** Folder to extract into (made with its parents when missing); required. */
    dest: string;
    /** Replace existing files (otherwise an existing file fails the extraction). */
    overWrite?: boolean;
    /**
     * Called as progress(name, context) before each entry, answering true (extract),
     * false (stop, E_ABORT) or 0 (skip the entry), and as progress(name, total, processed,
     * context) after each block written. Tell them apart by arguments.length.
     */
    progress?: (name: string, totalOrContext?: any, processed?: number, context?: C) => boolean | number | void;
    success?: (context: C) => void;
    context?: C;
  }

  interface UnzipFileOptions<C = undefined> extends UnzipCommonOptions<C> {
    /** File that holds the archive (a zip file, or any file with archives appended); required. */
    src: string;
    /** Which appended archive, counted from the end of the file (default 0, the last one). */
    index?: number;
    /** Called with the context first, then the result code. */
    fail?: (context: C, result: ResultCode) => void;
  }

  interface UnzipStreamOptions<C = undefined> extends UnzipCommonOptions<C> {
    /** A stream holding the archive bytes. */
    buffer: StreamObject;
    /** Use only this many bytes of the stream. */
    length?: number;
    /** Called with null, the context and the result code. */
    fail?: (none: null, context: C, result: ResultCode) => void;
  }

  interface ZipOptions<C = undefined> {
    /** A file or folder, or a list of them (a folder's contents go to the archive root). */
    src: string | ArrayLike<string>;
    /** Output file path, or a stream that receives the archive. */
    dest: string | StreamObject;
    /** Replace an existing output file. */
    overWrite?: boolean;
    /** After each block written: the file being added, the total source bytes and the bytes done; false cancels. */
    progress?: (path: string, total: number, processed: number, context: C) => boolean | void;
    success?: (context: C) => void;
    /** Called with the result code, then the context. */
    fail?: (result: ResultCode, context: C) => void;
    context?: C;
  }

  /** The "minizip" plug-in: zip archives, built and extracted in the background. */
  interface ZipPlugin {
    /** Extracts an archive; every outcome is reported through the functions. */
    unzip<C = undefined>(options: UnzipFileOptions<C>): void;
    unzip<C = undefined>(options: UnzipStreamOptions<C>): void;
    /** Builds an archive (deflate); every outcome is reported through the functions. */
    zip<C = undefined>(options: ZipOptions<C>): void;
  }

  // ------------------------------------------------------------- resEditor

  interface ResEditorOptions {
    /** The executable to change; required. */
    path: string;
    /** An .ico file whose images replace the icon group. */
    iconPath?: string;
    /** The icon group to replace (default 1000). */
    iconID?: number;
    /** Four numbers joined by dots, such as "1.2.0.0". */
    fileVer?: string;
    productVer?: string;
    productName?: string;
    fileDesc?: string;
    internalName?: string;
    copyright?: string;
  }

  /** The "resEditor" plug-in of Vellum.dll: version information and icon of an executable. */
  interface ResEditorPlugin {
    /** Rewrites the executable in place; true when every change was written. Longer strings are cut to the existing value's length. */
    set(options: ResEditorOptions): boolean;
  }

  // ---------------------------------------------------------- createWindow

  interface CreateWindowOptions {
    /** Page to open, relative to this page's folder (or a URL). */
    url?: string;
    /** The new window is owned by this one (stays above it). */
    inherit?: boolean;
    /** Published in the new page as the global windowCallback. */
    callback?: any;
    /** Published in the new page as the global windowContext. */
    context?: any;
  }
}

/** What window.external answers: the plug-ins by name, and two methods. */
interface External {
  readonly window: Ombrel.WindowPlugin;
  readonly menu: Ombrel.MenuPlugin;
  readonly tray: Ombrel.TrayPlugin;
  readonly hotkey: Ombrel.HotkeyPlugin;
  readonly mouse: Ombrel.MousePlugin;
  readonly dragfile: Ombrel.DragFilePlugin;
  readonly console: Ombrel.ConsolePlugin;
  readonly system: Ombrel.SystemPlugin;
  readonly registry: Ombrel.RegistryPlugin;
  readonly config: Ombrel.ConfigPlugin;
  readonly file: Ombrel.FilePlugin;
  readonly fileIO: Ombrel.FileIOPlugin;
  readonly stream: Ombrel.StreamObject;
  readonly hash: Ombrel.HashPlugin;
  readonly http: Ombrel.HttpPlugin;
  readonly ga: Ombrel.AnalyticsPlugin;
  readonly minizip: Ombrel.ZipPlugin;
  readonly resEditor: Ombrel.ResEditorPlugin | undefined;
  /** Loads a plug-in library (a path relative to the current directory, the application folder); false when the file is not a library of this host's width. */
  loadPlugin(path: string): boolean;
  /** Opens a new window; its window plug-in, or null when no window could be made. */
  createWindow(param: Ombrel.CreateWindowOptions): Ombrel.WindowPlugin | null;
}

interface Window {
  readonly external: External;
}
declare var window: Window & typeof globalThis;
declare var external: External;

/** The plug-in of this name: window.external[name]. */
declare function queryModule(name: "window"): Ombrel.WindowPlugin;
declare function queryModule(name: "menu"): Ombrel.MenuPlugin;
declare function queryModule(name: "tray"): Ombrel.TrayPlugin;
declare function queryModule(name: "hotkey"): Ombrel.HotkeyPlugin;
declare function queryModule(name: "mouse"): Ombrel.MousePlugin;
declare function queryModule(name: "dragfile"): Ombrel.DragFilePlugin;
declare function queryModule(name: "console"): Ombrel.ConsolePlugin;
declare function queryModule(name: "system"): Ombrel.SystemPlugin;
declare function queryModule(name: "registry"): Ombrel.RegistryPlugin;
declare function queryModule(name: "config"): Ombrel.ConfigPlugin;
declare function queryModule(name: "file"): Ombrel.FilePlugin;
declare function queryModule(name: "fileIO"): Ombrel.FileIOPlugin;
declare function queryModule(name: "stream"): Ombrel.StreamObject;
declare function queryModule(name: "hash"): Ombrel.HashPlugin;
declare function queryModule(name: "http"): Ombrel.HttpPlugin;
declare function queryModule(name: "ga"): Ombrel.AnalyticsPlugin;
declare function queryModule(name: "minizip"): Ombrel.ZipPlugin;
declare function queryModule(name: "resEditor"): Ombrel.ResEditorPlugin | undefined;
/** A plug-in of your own library: declare it by adding to Ombrel.PluginMap. */
declare function queryModule<K extends keyof Ombrel.PluginMap>(name: K): Ombrel.PluginMap[K];

/** Loads a plug-in library: window.external.loadPlugin(path). */
declare function loadPlugin(path: string): boolean;
/** Opens a new window: window.external.createWindow(param). */
declare function createWindow(param: Ombrel.CreateWindowOptions): Ombrel.WindowPlugin | null;
/** Stops the running script (the system plug-in's abort). */
declare function abort(): never;

/** In a window made by createWindow: the "context" given to it. Not defined in other windows: test with typeof. */
declare var windowContext: any;
/** In a window made by createWindow: the "callback" given to it. Not defined in other windows: test with typeof. */
declare var windowCallback: any;

/** The page's console is the console plug-in. */
interface Console extends Ombrel.ConsolePlugin {}
declare var console: Console;

/** Shows the window plug-in's message box (the start-up script replaces the browser's alert). */
declare function alert(content?: any, icon?: Ombrel.MessageBoxIcon, title?: string): void;
/** The browser's own alert. */
declare var _alert: (message?: any) => void;
