#pragma once
// The ADO-style components over the provider layer: a connection opened from its connection
// string and data sets that run command text into a static client-side result.

#include "DB.h"

#include <memory>
#include <string>
#include <vector>

namespace vl {
class ProviderConnection;
class ProviderResult;
class StoredResult;
} // namespace vl

class TCustomADODataSet;

enum TCursorLocation { clUseServer, clUseClient };
enum TCursorType { ctUnspecified, ctOpenForwardOnly, ctKeyset, ctDynamic, ctStatic };
enum TADOLockType { ltUnspecified, ltReadOnly, ltPessimistic, ltOptimistic, ltBatchOptimistic };
enum TCommandType { cmdUnknown, cmdText, cmdTable, cmdStoredProc, cmdFile, cmdTableDirect };
enum TIsolationLevel { ilUnspecified, ilChaos, ilReadUncommitted, ilBrowse, ilCursorStability, ilReadCommitted,
    ilRepeatableRead, ilSerializable, ilIsolated };
enum TConnectOption { coConnectUnspecified, coAsyncConnect };
enum TConnectMode { cmUnknown, cmRead, cmWrite, cmReadWrite, cmShareDenyRead, cmShareDenyWrite, cmShareExclusive,
    cmShareDenyNone };

class TADOConnection : public TCustomConnection {
public:
    explicit TADOConnection(TComponent* owner);
    ~TADOConnection() override;

    const std::string& ConnectionString() const { return m_connectionString; }
    void SetConnectionString(std::string_view text) { m_connectionString = text; }
    bool LoginPrompt() const { return m_loginPrompt; }
    void SetLoginPrompt(bool value) { m_loginPrompt = value; }
    const std::string& Provider() const { return m_provider; }
    void SetProvider(std::string_view name) { m_provider = name; }
    bool KeepConnection() const { return m_keepConnection; }
    TCursorLocation CursorLocation() const { return m_cursorLocation; }
    TIsolationLevel IsolationLevel() const { return m_isolationLevel; }
    TConnectOption ConnectOptions() const { return m_connectOptions; }
    TConnectMode Mode() const { return m_mode; }
    const std::string& DefaultDatabase() const { return m_defaultDatabase; }

    // Opens from the connection string as stored; nothing when connected. Raises EOleException
    // (provider failures) and leaves the connection closed.
    void Open() override;
    // Closes every data set of this connection first.
    void Close() override;
    bool Connected() const override { return m_connection != nullptr; }

    // Valid while connected.
    vl::ProviderConnection& providerConnection() const;

private:
    friend class TCustomADODataSet;
    std::string m_connectionString;
    std::string m_provider = "MSDASQL.1";
    std::string m_defaultDatabase;
    bool m_loginPrompt = true;
    bool m_keepConnection = true;
    TCursorLocation m_cursorLocation = clUseClient;
    TIsolationLevel m_isolationLevel = ilCursorStability;
    TConnectOption m_connectOptions = coConnectUnspecified;
    TConnectMode m_mode = cmUnknown;
    std::unique_ptr<vl::ProviderConnection> m_connection;
    std::vector<TCustomADODataSet*> m_dataSets;
};

struct TParameter {
    std::string Name;
    std::string Value;
};

class TParameters {
public:
    int Count() const { return static_cast<int>(m_items.size()); }
    TParameter& Add(std::string_view name) { return m_items.emplace_back(TParameter{std::string(name), {}}); }
    TParameter& Items(int index) { return m_items.at(static_cast<size_t>(index)); }
    void Clear() { m_items.clear(); }

private:
    std::vector<TParameter> m_items;
};

class TCustomADODataSet : public TDataSet {
public:
    explicit TCustomADODataSet(TComponent* owner);
    ~TCustomADODataSet() override;

    TADOConnection* Connection() const { return m_connection; }
    void SetConnection(TADOConnection* connection);
    const std::string& CommandText() const { return m_commandText; }
    void SetCommandText(std::string_view text) { m_commandText = text; }
    TCursorType CursorType() const { return m_cursorType; }
    void SetCursorType(TCursorType type) { m_cursorType = type; }
    TCommandType CommandType() const { return m_commandType; }
    TADOLockType LockType() const { return m_lockType; }
    TCursorLocation CursorLocation() const { return m_cursorLocation; }
    int CacheSize() const { return m_cacheSize; }
    int MaxRecords() const { return m_maxRecords; }
    bool EnableBCD() const { return m_enableBCD; }
    void SetEnableBCD(bool value) { m_enableBCD = value; }
    bool StoreDefs() const { return m_storeDefs; }
    void SetStoreDefs(bool value) { m_storeDefs = value; }
    const std::string& IndexFieldNames() const { return m_indexFieldNames; }
    TParameters& Parameters() { return m_parameters; }

    // The master link: setting a data source linked back to this data set raises
    // "Circular datalinks are not allowed" with this data set's name prefix.
    TDataSource* GetDataSource() const override { return m_masterLink.DataSource(); }
    void SetDataSource(TDataSource* dataSource);
    const std::string& MasterFields() const { return m_masterLink.FieldNames(); }
    void SetMasterFields(std::string_view names) { m_masterLink.SetFieldNames(names); }

    // The provider filter the master link sets; empty means every record.
    const std::string& ProviderFilter() const { return m_providerFilter; }
    // Number of provider value reads since open (each field at most once per record).
    std::size_t ProviderReads() const { return m_providerReads; }

    // The filter term of one master field: "(name=value)" with the value quoted by its type.
    static std::string filterTerm(std::string_view name, const TField& masterField);

protected:
    std::size_t InternalOpen() override;
    void InternalClose() override;
    void InternalAfterOpen() override;
    void FetchValue(const TField& field, std::size_t recNo, TFieldValue& slot) const override;

private:
    friend class TADOConnection;
    void masterChanged();
    void masterDisabled();
    void applyFilter(std::string text, const std::vector<std::pair<TField*, TField*>>& terms);

    TADOConnection* m_connection = nullptr;
    std::string m_commandText;
    TCursorType m_cursorType = ctKeyset;
    TCommandType m_commandType = cmdText;
    TADOLockType m_lockType = ltOptimistic;
    TCursorLocation m_cursorLocation = clUseClient;
    int m_cacheSize = 1;
    int m_maxRecords = 0;
    bool m_enableBCD = true;
    bool m_storeDefs = false;
    std::string m_indexFieldNames;
    TParameters m_parameters;
    TMasterDataLink m_masterLink;
    std::string m_providerFilter;
    std::unique_ptr<vl::ProviderResult> m_result;
    const vl::StoredResult* m_stored = nullptr; // m_result when it is a stored result: read without a virtual call
    std::vector<int> m_columnOfField; // provider column per field
    mutable std::size_t m_providerReads = 0;
};

class TADODataSet : public TCustomADODataSet {
public:
    using TCustomADODataSet::TCustomADODataSet;
};

namespace vl {
// The field type of a provider column type; ftUnknown for a code without field type.
TFieldType fieldTypeOfAdoType(int adoType, bool enableBCD, int precision, int scale);
} // namespace vl
