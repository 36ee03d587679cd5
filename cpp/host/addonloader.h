#pragma once

// Loads the voting add-on's entry component the way the host does: opens its library from the
// add-on folder, creates the component by its component id, and hands it the component root.
// The entry component loads the application library itself some seconds later.
// Both libraries stay mapped until the process ends, although the component frees the
// application library on unload: the component object is process-wide and lives that long, and
// the add-on's code and constant texts may still be referenced after it unloaded (slot callables
// kept by host signals until they are destroyed; Qt's process-wide caches, such as the font
// cache, keeping literal texts of the add-on until the application object is destroyed).

#include <QString>

class IComponentRoot;
class IQuorix;

class AddonLoader
{
public:
    static constexpr char kComponentId[] = "com.tovo.quorix";

    explicit AddonLoader(const QString& addonDir) : m_dir(addonDir) {}
    ~AddonLoader();
    AddonLoader(const AddonLoader&) = delete;
    AddonLoader& operator=(const AddonLoader&) = delete;

    // False with a one-line reason when the library, its factory or the component is missing
    // or the component refuses to load.
    bool load(IComponentRoot* root, QString* error);
    // Calls onUnLoad (the application library is unloaded and freed by the component) and lets
    // go of the component. Safe to call more than once.
    void unload();

    bool isComponentLoaded() const { return m_component != nullptr; }
    // The application library is in the process, so the component has started it.
    bool isApplicationLoaded() const;

    // Why the application library is not in the process, as far as loading it without starting
    // it tells: the loader's error (a missing file, an unresolved symbol), a missing start export,
    // or else that the entry component did not start it. The library is unloaded again.
    QString applicationProblem() const;

    QString componentPath() const;
    QString applicationPath() const;

private:
    QString m_dir;
    void* m_library = nullptr;
    void* m_applicationPin = nullptr;
    IQuorix* m_component = nullptr;
};
